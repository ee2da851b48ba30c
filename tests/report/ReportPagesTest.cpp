// The report's pages against those Qt's document layout makes of the same
// formatted text: written as PDF on the same paper, rasterised, every page
// pixel for pixel the same.
#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include "report/ReportDocument.h"
#include "report/ReportOutput.h"
#include "report/ReportPages.h"

using namespace pw;

Q_DECLARE_METATYPE(std::vector<pw::SiteRow>)

namespace {

// The way the report went to paper before it had pages of its own: its
// document laid out on the writer's pages and printed.
QByteArray DocumentPdf(const std::vector<SiteRow>& rows, const QPageLayout& layout) {
  QTextDocument document;
  ui::ComposeReport(document, rows);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setPageLayout(layout);
    const QSizeF pageSize = writer.pageLayout().paintRectPixels(writer.logicalDpiX()).size();
    document.setDocumentMargin(0);
    document.setPageSize(pageSize);
    document.documentLayout()->setPaintDevice(&writer);
    document.setPageSize(pageSize);
    document.print(&writer);
    document.documentLayout()->setPaintDevice(nullptr);
  }
  return bytes;
}

QByteArray PagesPdf(const std::vector<SiteRow>& rows, const QPageLayout& layout) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const std::string problem = ui::WriteReportPdf(ui::ReportPages(rows), buffer, layout);
  if (!problem.empty()) qWarning("%s", problem.c_str());
  return bytes;
}

// The PDF's pages as images at 300 DPI.
QList<QImage> Rasterised(const QByteArray& pdf, const QString& name) {
  QTemporaryDir dir;
  QFile file(dir.filePath(name + ".pdf"));
  if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size()) return {};
  file.close();
  QProcess pdftoppm;
  pdftoppm.start("/usr/bin/pdftoppm", {"-r", "300", "-png", file.fileName(), dir.filePath(name)});
  if (!pdftoppm.waitForFinished(120000) || pdftoppm.exitCode() != 0) {
    qWarning("pdftoppm: %s", pdftoppm.readAllStandardError().constData());
    return {};
  }
  QList<QImage> pages;
  for (const QString& page : QDir(dir.path()).entryList({name + "-*.png"}, QDir::Files, QDir::Name))
    pages.append(QImage(dir.filePath(page)).convertToFormat(QImage::Format_RGB32));
  return pages;
}

}  // namespace

class ReportPagesTest : public QObject {
  Q_OBJECT

 private slots:
  // Every kind of line: the four protocols, with and without a subdomain,
  // zones 1 to 4, hosts too long for one line (some wrapped lines meet a
  // page's end), hosts beyond ASCII (one making its line right to left); and
  // lines enough for several pages. On the PDF's paper, on other paper whose
  // odd margins move every page's end, and with no rows at all.
  void pagesAreThoseOfTheReportsDocument_data() {
    const char* const protocols[] = {"Default", "http", "https", "ftp"};
    std::vector<SiteRow> rows;
    for (int i = 0; i < 200; ++i) {
      const std::string host = i % 9 == 4 ? std::string(60 + i, 'l') : "site" + std::to_string(i);
      rows.push_back({protocols[i % 4], i % 3 ? "www" : "", host + ".example", 1 + i % 4, 0});
    }
    rows.insert(rows.begin() + 30, {"https", "mail", "b\xC3\xBC" "cher.example", 3, 0});
    rows.insert(rows.begin() + 40, {"ftp", "a.b", "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80.example", 4, 0});
    rows.insert(rows.begin() + 50, {"Default", "", "\xD7\x90\xD7\x91\xD7\x92.example", 1, 0});

    QTest::addColumn<std::vector<SiteRow>>("rows");
    QTest::addColumn<QPageLayout>("layout");
    QTest::addColumn<int>("leastPages");
    QTest::newRow("the PDF's paper") << rows << ui::PdfPageLayout() << 3;
    QTest::newRow("odd margins") << rows
                                 << QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                                QMarginsF(13.3, 21.7, 29.1, 40.9), QPageLayout::Point)
                                 << 3;
    QTest::newRow("no rows") << std::vector<SiteRow>() << ui::PdfPageLayout() << 1;
  }

  void pagesAreThoseOfTheReportsDocument() {
    QFETCH(std::vector<SiteRow>, rows);
    QFETCH(QPageLayout, layout);
    QFETCH(int, leastPages);
    const QList<QImage> expected = Rasterised(DocumentPdf(rows, layout), "document");
    const QList<QImage> actual = Rasterised(PagesPdf(rows, layout), "pages");
    QVERIFY(expected.size() >= leastPages);
    QCOMPARE(actual.size(), expected.size());
    for (int page = 0; page < expected.size(); ++page) {
      QCOMPARE(actual[page].size(), expected[page].size());
      int differing = 0;
      QPoint first(-1, -1);
      for (int y = 0; y < expected[page].height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(actual[page].constScanLine(y));
        const auto* e = reinterpret_cast<const QRgb*>(expected[page].constScanLine(y));
        for (int x = 0; x < expected[page].width(); ++x)
          if (a[x] != e[x] && differing++ == 0) first = QPoint(x, y);
      }
      QVERIFY2(differing == 0, qPrintable(QString("page %1: %2 pixels differ, the first at %3,%4")
                                              .arg(page + 1)
                                              .arg(differing)
                                              .arg(first.x())
                                              .arg(first.y())));
    }
  }
};

QTEST_MAIN(ReportPagesTest)
#include "ReportPagesTest.moc"
