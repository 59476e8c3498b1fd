// The trend's exports: the CSV of the samples and the picture with its title and legend, each of
// the whole buffer or of the range in view.
#include <QBuffer>
#include <QDateTime>
#include <QLocale>
#include <QFile>
#include <QPainter>
#include <limits>
#include <vector>

#include "app/trend_plot.h"
#include "app/trend_window.h"
#include "core/save_target.h"
#include "res/strings.h"
#include "res/trend_text_ids.h"

namespace axtune {
namespace {

constexpr int kTextTrendPngDrive = 54202;
constexpr int kTextTrendPngSpan = 54203;
constexpr int kTextTrendNoDriveName = 54204;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

// The trend's one way of writing a file (the CSV and the picture): all of it or nothing.
bool SaveBytes(const QString& path, const QByteArray& bytes, QString* error) {
  const FileWriteResult written = WriteBytesAtomically(QFile::encodeName(path).toStdString(), bytes.constData(),
                                                       static_cast<size_t>(bytes.size()));
  if (!written.ok && error != nullptr) *error = QString::fromStdString(written.reason);
  return written.ok;
}

}  // namespace

bool TrendWindow::exportCsv(const QString& path, bool wholeBuffer, QString* error) {
  const QCPRange range = plot_->timeRange();
  const double from = wholeBuffer ? -std::numeric_limits<double>::infinity() : range.lower;
  const double to = wholeBuffer ? std::numeric_limits<double>::infinity() : range.upper;
  // A byte-order mark, so that spreadsheets read the units' degree sign as UTF-8.
  const std::string text = "\xEF\xBB\xBF" + TrendCsvText(recorder_, from, to);
  return SaveBytes(path, QByteArray(text.data(), static_cast<qsizetype>(text.size())), error);
}

QString TrendWindow::driveText() const {
  // The main window's title after its dash: "QMX10-BA 4.1.7 on COM1 (/dev/ttyUSB0)".
  const QString title = parentWidget() != nullptr ? parentWidget()->windowTitle() : QString();
  const qsizetype dash = title.indexOf(QStringLiteral(" \u2013 "));
  return dash >= 0 ? title.mid(dash + 3) : Tr(kTextTrendNoDriveName);
}

QImage TrendWindow::pngImage(bool wholeBuffer) {
  const QCPRange view = plot_->timeRange();
  const auto& samples = recorder_.samples();
  if (wholeBuffer && !samples.empty())
    plot_->setTimeRange(samples.front().time, std::max(samples.back().time, samples.front().time + 1.0));
  plot_->refresh();
  const QCPRange shown = plot_->timeRange();
  // At least 1200 by 700 pixels, so a small window still gives a picture the axes leave room in.
  const int width = std::max(plot_->width(), 1200);
  const QPixmap plot = plot_->toPixmap(width, std::max(plot_->height(), 700));
  if (wholeBuffer) {
    plot_->setTimeRange(view.lower, view.upper);
    plot_->refresh();
  }

  // The title: what, which drive on which port, the date and the time the picture covers.
  QLocale locale;
  // The wall-clock time of the sample nearest to a time of the plot.
  auto wallTime = [&](double seconds) {
    const TrendSample* s = nullptr;
    for (const TrendSample& sample : samples) {
      if (sample.time >= seconds) {
        s = &sample;
        break;
      }
    }
    if (s == nullptr && !samples.empty()) s = &samples.back();
    return s == nullptr ? QDateTime::currentDateTime() : QDateTime::fromMSecsSinceEpoch(s->utcMs);
  };
  const QDateTime from = wallTime(shown.lower), to = wallTime(shown.upper);
  auto clock = [](const QDateTime& t) { return t.time().toString(QStringLiteral("HH:mm:ss")); };
  const QString day = locale.toString(from.date(), QLocale::ShortFormat);
  const QString span =
      day + QLatin1Char(' ') +
      Tr(kTextTrendPngSpan)
          .arg(clock(from), from.date() == to.date() ? clock(to)
                                                     : locale.toString(to.date(), QLocale::ShortFormat) +
                                                           QLatin1Char(' ') + clock(to));
  const QString title = QStringLiteral("Axtune \u2013 %1").arg(Tr(kTextTrendTitle));
  const QString subtitle = Tr(kTextTrendPngDrive).arg(driveText()) + QStringLiteral("    ") + span;
  QFont titleFont = font();
  titleFont.setPointSizeF(font().pointSizeF() * 1.4);
  titleFont.setBold(true);
  const QFontMetrics titleMetrics(titleFont), metrics(font());

  // The legend: a swatch and the name with its unit for every trace shown, in rows.
  struct Entry {
    QColor color;
    QString text;
    bool dashed;
  };
  std::vector<Entry> entries;
  for (int c = 0; c < kTrendColumnCount; ++c) {
    if (!plot_->traceVisible(c)) continue;
    const TrendColumnInfo& info = TrendColumnOf(c);
    QString text = Tr(info.nameId);
    if (*info.unit != '\0') text += QStringLiteral(" [%1]").arg(TrendPlot::unitText(c));
    entries.push_back({TrendPlot::traceColor(c), text, c == kColEncoderPosition});
  }
  const int line = metrics.height() + 4;
  int rows = 1, x = 0;
  for (const Entry& e : entries) {
    const int w = 30 + metrics.horizontalAdvance(e.text) + 18;
    if (x + w > width - 24 && x > 0) {
      ++rows;
      x = 0;
    }
    x += w;
  }
  const int top = 12 + titleMetrics.height() + line + 6;
  const int legendHeight = rows * line + 8;
  QImage image(width, top + legendHeight + plot.height(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::black);
  painter.setFont(titleFont);
  painter.drawText(12, 8 + titleMetrics.ascent(), title);
  painter.setFont(font());
  painter.drawText(12, 12 + titleMetrics.height() + metrics.ascent(), subtitle);
  x = 12;
  int y = top;
  for (const Entry& e : entries) {
    const int w = 30 + metrics.horizontalAdvance(e.text) + 18;
    if (x + w > width - 12 && x > 12) {
      x = 12;
      y += line;
    }
    painter.setPen(QPen(e.color, 3, e.dashed ? Qt::DashLine : Qt::SolidLine));
    painter.drawLine(x, y + line / 2, x + 24, y + line / 2);
    painter.setPen(Qt::black);
    painter.drawText(x + 30, y + (line + metrics.ascent() - metrics.descent()) / 2, e.text);
    x += w;
  }
  painter.drawPixmap(0, top + legendHeight, plot);
  return image;
}

bool TrendWindow::exportPng(const QString& path, bool wholeBuffer, QString* error) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!pngImage(wholeBuffer).save(&buffer, "PNG")) {
    if (error != nullptr) *error = QStringLiteral("PNG");
    return false;
  }
  return SaveBytes(path, bytes, error);
}

}  // namespace axtune
