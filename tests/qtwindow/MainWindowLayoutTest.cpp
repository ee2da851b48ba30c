// Where the main window's controls sit, at design size and after resizing.
#include <QHeaderView>
#include <QTest>
#include <QTreeView>

#include "UiTestSupport.h"

using namespace pw;
using namespace pw::test;

class MainWindowLayoutTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<StoreRig> rig_;
  ScriptedPrompter prompter_;
  std::unique_ptr<ui::MainWindow> window_;

  QRect Geometry(const char* name) { return Find<QWidget>(*window_, name)->geometry(); }
  QHeaderView* Header() { return Find<QTreeView>(*window_, "LVw")->header(); }
  // Everything the rules may move, as pixels, for comparing before and after.
  QList<QRect> Movable() {
    QList<QRect> rects;
    for (const char* name : {"Frame1", "Image2", "Label1", "Line1", "Image3", "Label3", "Line2", "Image4", "Label4",
                             "Line3", "Image5", "Label5", "LVw", "txtURL", "cmdAddd", "cmdHelp", "cmdDelete",
                             "cmdPrint"})
      rects << Geometry(name);
    rects << QRect(0, 0, Header()->sectionSize(2), 0);
    return rects;
  }

 private slots:
  void init() {
    rig_ = std::make_unique<StoreRig>();
    rig_->SetZone(ZoneProfile::LockedDown);
    window_ = std::make_unique<ui::MainWindow>(rig_->Store(), prompter_);
    window_->Load(nullptr, {}, "");
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QVERIFY2(HasTestDpi(*window_), "the tests expect 96 DPI (QT_FONT_DPI=96)");
  }
  void cleanup() { window_.reset(); }

  void designSize() {
    // 15 twips a pixel at 96 DPI; the outer size is the client size + 135 x 510 twips.
    QCOMPARE(window_->size(), QSize(784, 537));
    QCOMPARE(window_->OuterWidthTwips(), 11895);
    QCOMPARE(window_->OuterHeightTwips(), 8565);
    QCOMPARE(window_->windowTitle(), QString("PORTWARDEN - Script Security and Trusted Sites Manager"));
    QCOMPARE(Geometry("Frame1"), QRect(4, 416, 297, 113));  // 60, 6240, 4455, 1695
    QCOMPARE(Geometry("LVw"), QRect(4, 80, 777, 321));      // 60, 1200, 11655, 4815
    QCOMPARE(Geometry("cmdSecure"), QRect(125, 0, 69, 57)); // 1870, 0, 1035, 855
    QCOMPARE(Geometry("cmdTrust"), QRect(192, 0, 65, 57));
    QCOMPARE(Geometry("cmdAdd"), QRect(385, 0, 65, 57));
    QCOMPARE(Geometry("cmdHelp"), QRect(712, 0, 69, 57));
    QCOMPARE(Geometry("cmdAddd"), QRect(712, 59, 69, 22));
    QCOMPARE(Geometry("txtURL"), QRect(4, 56, 709, 24));
    QCOMPARE(Geometry("Picture1"), QRect(8, 16, 281, 89));
    QCOMPARE(Geometry("Image7"), QRect(-4, -4, 121, 57));
    QCOMPARE(Geometry("pSecured"), QRect(5, 2, 117, 53));
    QCOMPARE(Header()->sectionSize(0), 103);  // 1550
    QCOMPARE(Header()->sectionSize(1), 188);  // 2820
    QCOMPARE(Header()->sectionSize(2), (11655 - 2820 - 1550 - 333) / 15);
    QVERIFY(Find<QWidget>(*window_, "rT")->isHidden());
  }

  void wideningMovesTheRightSideAndStretchesTheList() {
    QRect help = Geometry("cmdHelp"), list = Geometry("LVw"), add = Geometry("cmdAdd"), image5 = Geometry("Image5");
    int third = Header()->sectionSize(2);
    window_->resize(window_->width() + 100, window_->height() + 40);
    QCOMPARE(Geometry("cmdHelp"), help.translated(100, 0));
    QCOMPARE(Geometry("Image5"), image5.translated(100, 40));
    QCOMPARE(Geometry("LVw"), list.adjusted(0, 0, 100, 40));
    QCOMPARE(Geometry("cmdAdd"), add);
    QCOMPARE(Header()->sectionSize(2), third + 100);
    QCOMPARE(Geometry("Frame1").top(), 416 + 40);
  }

  // Smaller than designed, the right-hand buttons and the legend would be cut
  // off; the resize rules' thresholds lie below it (see the logic's tests).
  void theWindowIsNeverSmallerThanDesigned() {
    window_->resize(500, 300);
    QCOMPARE(window_->size(), QSize(784, 537));
    for (const char* name : {"cmdPrint", "cmdDelete", "cmdHelp", "Label5", "Image5"})
      QVERIFY2(window_->rect().contains(Find<QWidget>(*window_, name)->geometry()), name);
  }

  void minimisingMovesNothingAndRestoringLaysOutAgain() {
    QList<QRect> before = Movable();
    window_->setWindowState(Qt::WindowMinimized);
    QVERIFY(window_->isMinimized());
    window_->resize(1000, 700);
    QCOMPARE(Movable(), before);
    window_->setWindowState(Qt::WindowNoState);
    QCOMPARE(Geometry("cmdHelp").left(), (1000 * 15 + 135 - 1215 + 7) / 15);
    QCOMPARE(Geometry("LVw").width(), (1000 * 15 + 135 - 240) / 15);
  }

  void draggedColumnsKeepTheirWidthsAndTheThirdTakesTheRest() {
    Header()->resizeSection(0, 150);
    window_->resize(window_->width() + 30, window_->height());
    QCOMPARE(Header()->sectionSize(0), 150);
    QCOMPARE(Header()->sectionSize(1), 188);
    int listTwips = (window_->width() * 15 + 135) - 240;
    QCOMPARE(Header()->sectionSize(2), (listTwips - 2820 - 150 * 15 - 333 + 7) / 15);
    // Columns dragged past the list's width leave the third its least width.
    Header()->resizeSection(1, 2000);
    window_->resize(window_->width() + 15, window_->height());
    QCOMPARE(Header()->sectionSize(2), Header()->minimumSectionSize());
  }

  void everyControlHasItsName() {
    for (const DesignControl& control : MainWindowDesign())
      QVERIFY2(Find<QWidget>(*window_, control.name.c_str()), control.name.c_str());
  }
};

QTEST_MAIN(MainWindowLayoutTest)
#include "MainWindowLayoutTest.moc"
