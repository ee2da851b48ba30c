// Writes the window's pictures as files for the native Windows window, which
// cannot paint them itself: the list's and buttons' pictures as PNGs in the
// sizes the icons are packed from, the status panels' and the product picture
// as 24-bit BMPs at twice their size at 96 dpi. Run after changing a picture:
//   export-windows-pictures packaging/windows/pictures
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "qtwindow/Pictures.h"

namespace {

void Save(const QImage& image, const QString& path) {
  if (!image.save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

template <typename Paint>
QImage Painted(int width, int height, QImage::Format format, Paint paint) {
  QImage image(width, height, format);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter, QRectF(0, 0, width, height));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: export-windows-pictures FOLDER\n");
    return 2;
  }
  QString dir = QString::fromLocal8Bit(argv[1]) + "/";
  for (int size : {16, 24, 32, 48, 64}) {
    for (int index = 1; index <= pw::ui::kImageListCount; ++index)
      Save(pw::ui::ImageListIcon(index).pixmap(size, size).toImage(),
           dir + QString("imagelist%1-%2.png").arg(index).arg(size));
    Save(pw::ui::ButtonIcon(pw::ui::ButtonPicture::Add).pixmap(size, size).toImage(), dir + QString("add-%1.png").arg(size));
    Save(pw::ui::ButtonIcon(pw::ui::ButtonPicture::Print).pixmap(size, size).toImage(), dir + QString("print-%1.png").arg(size));
  }
  // Panels are 1815 x 855 twips, the product picture 4155 x 1575.
  const struct {
    pw::StatusPanel panel;
    const char* name;
  } panels[] = {{pw::StatusPanel::Secured, "panel-secured"},
                {pw::StatusPanel::SemiSecure, "panel-semisecure"},
                {pw::StatusPanel::Unsecure, "panel-unsecure"}};
  for (auto [panel, name] : panels)
    Save(Painted(242, 114, QImage::Format_RGB888,
                 [panel](QPainter& p, const QRectF& r) { pw::ui::PaintPanelPicture(p, panel, r); }),
         dir + name + ".bmp");
  Save(Painted(554, 210, QImage::Format_RGB888, [](QPainter& p, const QRectF& r) { pw::ui::PaintProductPicture(p, r); }),
       dir + "product.bmp");
  return 0;
}
