// The report's fonts and colours where the seven formatting steps put them.
#include <QFontInfo>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include "report/ReportDocument.h"

#include <string>

using namespace pw;

class ReportDocumentTest : public QObject {
  Q_OBJECT

 private:
  QTextDocument doc_;
  int pumps_ = 0;

  int Pos(const QString& text, int occurrence = 0) {
    int at = -1;
    for (int i = 0; i <= occurrence; ++i) at = doc_.toPlainText().indexOf(text, at + 1);
    return at;
  }
  QTextCharFormat At(int position) {
    QTextCursor cursor(&doc_);
    cursor.setPosition(position + 1);
    return cursor.charFormat();
  }
  QColor Colour(int position) { return At(position).foreground().color(); }
  bool Bold(int position) { return At(position).fontWeight() == QFont::Bold; }
  void CheckFont(int position, const char* family, const char* installed, int points, bool bold) {
    QTextCharFormat format = At(position);
    QCOMPARE(format.fontFamilies().toStringList(), QStringList{family});
    QCOMPARE(format.fontPointSize(), qreal(points));
    QCOMPARE(Bold(position), bold);
    QString used = QFontInfo(format.font()).family();
    QVERIFY2(used == family || used == installed, qPrintable(used));
  }

 private slots:
  void initTestCase() {
    ui::ComposeReport(doc_,
                      {{"Default", "", "example.com", 2, 9},
                       {"http", "www", "example.net", 3, 0},
                       {"https", "a.b", "example.org", 4, 0},
                       {"", "", "bare.example", 0, 9},
                       {"ftp", "", "localhost//path", 1, 0},
                       {"http", "", "after.example", 2, 0}},
                      [this] { ++pumps_; });
  }

  void titleHeadingAndLinesHaveTheirFonts() {
    CheckFont(Pos("Portwarden Scripting"), "Arial", "Liberation Sans", 14, true);
    CheckFont(Pos("Report.") + 6, "Arial", "Liberation Sans", 14, true);
    QVERIFY(!Bold(Pos("\tPortwarden")));  // the TAB before keeps the default
    CheckFont(Pos("Priviledge"), "Arial", "Liberation Sans", 10, true);
    CheckFont(Pos("Site..."), "Arial", "Liberation Sans", 10, true);
    CheckFont(Pos("example.net"), "Courier New", "Liberation Mono", 10, false);
    // Columns stand on half-inch tab stops (the tests run at 96 DPI).
    QCOMPARE(doc_.defaultTextOption().tabStopDistance(), 48.0);
  }

  void sitesAreBlueAfterABlackProtocolPart() {
    for (const char* black : {"https", "://a", "a."}) QCOMPARE(Colour(Pos(black)), QColor(Qt::black));
    QCOMPARE(Colour(Pos("b.example.org")), QColor(0, 0, 255));
    QCOMPARE(Colour(Pos("www.") + 3), QColor(Qt::black));
    QCOMPARE(Colour(Pos("example.net")), QColor(0, 0, 255));
    // A line without a tag: the black run does not reach into the line above.
    QCOMPARE(Colour(Pos("example.org") + 10), QColor(0, 0, 255));
    QCOMPARE(Colour(Pos("://*.bare")), QColor(Qt::black));
    // A "//" with no dot after it on its line ends its run at the line's end;
    // the finds go on past it.
    QCOMPARE(Colour(Pos("localhost")), QColor(0, 0, 255));
    QCOMPARE(Colour(Pos("//path") + 5), QColor(Qt::black));
    QCOMPARE(Colour(Pos("after.example") + 6), QColor(0, 0, 255));
  }

  void tagsAreBoldInTheirColours() {
    QCOMPARE(Colour(Pos("[TRUSTED]")), QColor(0, 192, 0));
    QCOMPARE(Colour(Pos("[TRUSTED]") + 8), QColor(0, 192, 0));
    QCOMPARE(Colour(Pos("{LISTED}") + 7), QColor(255, 128, 0));
    QCOMPARE(Colour(Pos("RESTRICTED") + 9), QColor(255, 0, 0));
    QVERIFY(Bold(Pos("[TRUSTED]", 1)) && Bold(Pos("{LISTED}")) && Bold(Pos("RESTRICTED")));
    QVERIFY(!Bold(Pos("RESTRICTED") + 10));  // the TAB after the tag
    // The pump ran once per match: seven "//" and four tags.
    QCOMPARE(pumps_, 7 + 4);
  }
};

QTEST_MAIN(ReportDocumentTest)
#include "ReportDocumentTest.moc"
