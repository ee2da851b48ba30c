#include "qtwindow/DesignedDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <map>

#include "qtwindow/Controls.h"
#include "qtwindow/Pictures.h"
#include "windowlogic/DialogDesign.h"
#include "windowlogic/Twips.h"

namespace pw::ui {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

QWidget* MakeControl(const std::string& name, QWidget* parent) {
  if (StartsWith(name, "Label") || StartsWith(name, "lbl")) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);  // addresses are shown as typed, never as markup
    if (StartsWith(name, "lbl")) {
      // The listing stands out from the captions that name it.
      QFont bold = label->font();
      bold.setBold(true);
      label->setFont(bold);
    }
    return label;
  }
  if (StartsWith(name, "Line")) return new LineControl(parent);
  if (StartsWith(name, "Frame")) return new DesignFrame(parent);
  if (StartsWith(name, "Picture")) return new QWidget(parent);
  if (name == "Image10")
    return new PictureControl(parent,
                              [](QPainter& p, const QRectF& r) { PaintProductPicture(p, r); });
  if (StartsWith(name, "Image")) return new PictureControl(parent, {});
  if (StartsWith(name, "Option")) return new QRadioButton(parent);
  if (StartsWith(name, "Check")) return new QCheckBox(parent);
  return new QPushButton(parent);
}

}  // namespace

DesignedDialog::DesignedDialog(QWidget* owner, const char* name, const char* caption,
                               const std::vector<DesignControl>& design, int clientWidth,
                               int clientHeight)
    : QDialog(owner) {
  setObjectName(name);
  setWindowTitle(caption);
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setFont(DesignFont("MS Sans Serif", 8.25, false));
  InstallControlAccessibility();
  int dpiX = logicalDpiX();
  int dpiY = logicalDpiY();
  std::map<std::string, QWidget*> made;  // by name, for the children to find their parent
  for (const DesignControl& control : design) {
    QWidget* parent = control.parent.empty() ? this : made.at(control.parent);
    QWidget* widget = MakeControl(control.name, parent);
    widget->setObjectName(QString::fromStdString(control.name));
    widget->setGeometry(PixelRect(control.rect, dpiX, dpiY));
    made[control.name] = widget;
  }
  setFixedSize(TwipsToPixels(clientWidth, dpiX), TwipsToPixels(clientHeight, dpiY));
  subDomainLabel_ = Designed<QLabel>("lblSubDomain");
  domainLabel_ = Designed<QLabel>("lblDomain");
  okButton_ = Designed<QPushButton>("Command1");
  cancelButton_ = Designed<QPushButton>("Command2");
  SetCaption(Designed<QLabel>("Label1"), kSubDomainCaption);
  SetCaption(Designed<QLabel>("Label2"), kDomainCaption);
}

void DesignedDialog::SetCaption(QLabel* label, const char* caption) {
  // Some captions are a little wider in the stand-in font than their labels;
  // the label grows to the right, into the gap the design leaves there.
  label->setText(caption);
  label->resize(std::max(label->width(), label->fontMetrics().horizontalAdvance(label->text()) + 1),
                label->height());
}

void DesignedDialog::SetTabOrder(const std::vector<QWidget*>& order) {
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void DesignedDialog::Present() {
  if (!isVisible()) {
    show();
    return;
  }
  raise();
  activateWindow();
}

void DesignedDialog::ShowPicture(PictureControl* picture, int index) {
  picture->SetPainter(
      [index](QPainter& p, const QRectF& r) { PaintImageListPicture(p, index, r); });
  picture->setProperty("picture", index);
}

}  // namespace pw::ui
