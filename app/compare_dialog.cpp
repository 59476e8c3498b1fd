#include "app/compare_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

#include "app/parameter_file_preview.h"
#include "controls/message_box.h"
#include "core/parameter_access.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kTextTitle = 49160, kTextName = 49161, kTextPage = 49162, kTextShowEqual = 49163;
constexpr int kTextWriteSelected = 49164, kTextWriteAll = 49165, kTextDrive = 49131, kTextFile = 49146;
constexpr int kTextClose = 51500;
constexpr int kTextUnit = 49141, kTextRaw = 49154, kTextMissing = 49167;
constexpr int kTextEqual = 49169, kTextNotWritten = 49173;
// Counted in words, and the two value columns say which side they show.
constexpr int kTextOneDiffers = 54100, kTextManyDiffer = 54101, kTextInDrive = 54102, kTextInFile = 54103;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}
QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QString HexWords(const std::vector<uint16_t>& words) {
  QString out;
  for (auto it = words.rbegin(); it != words.rend(); ++it)
    out += QStringLiteral("%1").arg(*it, 4, 16, QLatin1Char('0')).toUpper();
  return out.isEmpty() ? QStringLiteral("-") : QStringLiteral("0x") + out;
}

}  // namespace

CCompareDialog::CCompareDialog(ParameterSet drive, ParameterSet file,
                               std::function<void(const ParamEntry&)> notify, QWidget* parent)
    : QDialog(parent), drive_(std::move(drive)), file_(std::move(file)), notify_(std::move(notify)) {
  setWindowTitle(Tr(kTextTitle));
  setObjectName(QStringLiteral("compareDialog"));
  auto* layout = new QVBoxLayout(this);
  auto* sources = new QLabel(Tr(kTextDrive) + QStringLiteral(": ") + Q(drive_.source) + QStringLiteral("\n") +
                                 Tr(kTextFile) + QStringLiteral(": ") + Q(file_.source),
                             this);
  sources->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(sources);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));
  layout->addWidget(summary_);

  table_ = new QTableWidget(0, 6, this);
  table_->setHorizontalHeaderLabels(
      {Tr(kTextPage), Tr(kTextName), Tr(kTextInDrive), Tr(kTextInFile), Tr(kTextUnit), Tr(kTextRaw)});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setAlternatingRowColors(true);
  layout->addWidget(table_, 1);

  showEqual_ = new QCheckBox(Tr(kTextShowEqual), this);
  layout->addWidget(showEqual_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(Tr(kTextClose));  // Qt's own label is English
  writeSelected_ = buttons->addButton(Tr(kTextWriteSelected), QDialogButtonBox::ActionRole);
  writeAll_ = buttons->addButton(Tr(kTextWriteAll), QDialogButtonBox::ActionRole);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(showEqual_, &QCheckBox::toggled, this, [this] { Fill(); });
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
  connect(writeSelected_, &QPushButton::clicked, this, [this] {
    std::set<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) rows.insert(index.row());
    WriteRows(std::vector<int>(rows.begin(), rows.end()));
  });
  connect(writeAll_, &QPushButton::clicked, this, [this] {
    // Everything at once is asked once, with what it is: the same question as before a load.
    if (!AskWriteParameterFile(this, QFile::decodeName(file_.source.c_str()), file_, DifferenceCount(),
                               Tr(kTextWriteAll)))
      return;
    std::vector<int> rows;
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) rows.push_back(i);
    WriteRows(rows);
  });
  Fill();
  resize(860, 480);
}

int CCompareDialog::DifferenceCount() const {
  int count = 0;
  for (const ParamDifference& d : CompareParameterSets(drive_, file_)) count += d.equal() ? 0 : 1;
  return count;
}

void CCompareDialog::Fill() {
  const Language l = CurrentLanguage();
  rows_ = CompareParameterSets(drive_, file_, showEqual_->isChecked());
  // The rows move up after a write: a selection kept by row number would now mark a row the user
  // did not choose, one click away from being written too.
  table_->clearSelection();
  table_->setRowCount(static_cast<int>(rows_.size()));
  int differences = 0;
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
    const ParamDifference& d = rows_[static_cast<size_t>(r)];
    differences += d.equal() ? 0 : 1;
    auto value = [&](bool in, uint32_t raw, const std::optional<ReadFailure>& failed) {
      if (failed) return Q(ReadFailureText(*failed, l));  // that row says why, the others go on
      // The unit has its own column.
      if (!in) return Tr(kTextMissing);
      QString text = Q(FormatUserValue(d.entry, raw, l));
      const std::string unit = ParameterUnit(d.entry, l);
      if (!unit.empty() && text.endsWith(Q(" " + unit))) text.chop(static_cast<int>(Q(unit).size()) + 1);
      return text;
    };
    const QString cells[] = {
        Q(PageTitle(d.entry.page, l)),   Q(ParameterLabel(d.entry, l)),
        value(d.inA, d.rawA, d.failedA), value(d.inB, d.rawB, d.failedB),
        Q(ParameterUnit(d.entry, l)),    HexWords(d.wordsA) + QStringLiteral(" / ") + HexWords(d.wordsB)};
    for (int c = 0; c < 6; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c == kColumnDrive || c == kColumnFile) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (c == kColumnName) item->setToolTip(Q(d.entry.name));
      if (!d.equal()) {
        QFont bold = item->font();
        bold.setBold(c == kColumnDrive || c == kColumnFile);
        item->setFont(bold);
      }
      table_->setItem(r, c, item);
    }
  }
  table_->resizeColumnsToContents();
  // That sized the last column to its contents as well; it stretches to the table's edge again.
  table_->horizontalHeader()->setStretchLastSection(false);
  table_->horizontalHeader()->setStretchLastSection(true);
  summary_->setText(differences == 0   ? Tr(kTextEqual)
                    : differences == 1 ? Tr(kTextOneDiffers)
                                       : Tr(kTextManyDiffer).arg(differences));
  UpdateButtons();
}

void CCompareDialog::UpdateButtons() {
  bool anySelected = false;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows())
    anySelected = anySelected || !rows_[static_cast<size_t>(index.row())].equal();
  bool anyDifferent = false;
  for (const ParamDifference& d : rows_) anyDifferent = anyDifferent || (!d.equal() && d.inB);
  writeSelected_->setEnabled(anySelected);
  writeAll_->setEnabled(anyDifferent);
}

bool CCompareDialog::WriteOne(const ParamDifference& d) {
  if (!d.inB) return false;  // the file does not hold it: nothing to write
  uint32_t back = 0;
  if (!WriteParameter(d.entry, d.rawB) || !ReadParameter(d.entry, &back) || back != d.rawB) return false;
  // The drive's set now holds what it read back.
  if (d.entry.HasRecord() && d.entry.record < static_cast<int>(drive_.records.size())) {
    PutRawInRecord(d.entry, back, drive_.records[static_cast<size_t>(d.entry.record)].data());
  } else {
    // A drive that keeps the value in the record words the compare read from the file holds the new
    // value there too; a drive that keeps it elsewhere keeps its words as they were.
    const std::optional<ParamEntry> stored = AtStoredWords(d.entry);
    if (stored && stored->record < static_cast<int>(drive_.records.size())) {
      uint16_t* words = drive_.records[static_cast<size_t>(stored->record)].data();
      uint32_t before = 0;
      if (RawFromRecord(*stored, words, &before) && before == drive_.objects[d.entry.name])
        PutRawInRecord(*stored, back, words);
    }
    drive_.objects[d.entry.name] = back;
    drive_.unreadable.erase(d.entry.name);  // read back just now
  }
  if (notify_) notify_(d.entry);
  return true;
}

int CCompareDialog::WriteRows(const std::vector<int>& rows) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  int tried = 0, taken = 0;
  QStringList failed;
  for (int row : rows) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) continue;
    const ParamDifference& d = rows_[static_cast<size_t>(row)];
    if (d.equal()) continue;
    ++tried;
    if (WriteOne(d)) {
      ++taken;
    } else {
      failed << Q(ParameterLabel(d.entry, CurrentLanguage()));
    }
  }
  QApplication::restoreOverrideCursor();
  Fill();
  if (!failed.isEmpty())
    ShowMessage(this, Tr(kTextNotWritten).arg(taken).arg(tried).arg(failed.join(QStringLiteral(", "))));
  return taken;
}

}  // namespace axtune
