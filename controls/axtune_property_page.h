// The base of every parameter page: a page belongs to one drive record. It holds the record's number
// and a 15-word copy of it (the record image), reads the record each time the page is shown, and
// paints itself and every control on it (labels, check boxes, edit fields, lists and their drop-down
// lists) on the common background colour RGB(79, 164, 163).
//
// A page with bound controls (CAxtuneEdit, CAxtuneComboBox) creates them as its children, binds them
// once in its constructor or initialisation, and overrides OnShowWindow:
//   void OnShowWindow(bool show) override {
//     if (!ReadRecordOnShow(show)) return;     // hidden, not connected, or the read failed
//     current_->ReadFromDrive();                // object-bound
//     delay_->LoadFromRecord(Image());          // record-bound
//   }
// The controls write and notify by themselves; a page's own handlers (check boxes) write with
// WriteWords and call NotifyParameterChanged().
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "controls/record_image.h"

namespace axtune {

class CAxtunePropertyPage : public QWidget {
  Q_OBJECT

 public:
  // dialogId names the page (its template number); the tab title is string 40000 + dialogId.
  explicit CAxtunePropertyPage(int dialogId, QWidget* parent = nullptr);
  ~CAxtunePropertyPage() override;

  int DialogId() const { return dialogId_; }
  QString Title() const;
  // A tab title of its own instead of the string (two pages of one template are told apart).
  void SetTitle(const QString& title) { title_ = title; }

  int RecordNumber() const { return recordNumber_; }
  // The profile a write on this page lands in, for the note in the status line; -1 for none.
  virtual int NoteProfile() const { return -1; }
  void SetRecordNumber(int record) { recordNumber_ = static_cast<int16_t>(record); }
  const RecordImage& Image() const { return image_; }

  // The page was shown (true) or hidden (false), by a tab switch or an explicit refresh from the main
  // window. The base reads the record through ReadRecordOnShow; pages override it to refresh their
  // controls when that returns true.
  virtual void OnShowWindow(bool show);

  // Reads the record into the image when the page is being shown and a drive is connected. On a
  // failed read it shows why ("wrong checksum", "Cannot read data", "unkown error") and keeps the image.
  bool ReadRecordOnShow(bool show);

  // Tells the main window that this page wrote a parameter of `record` to the drive.
  void NotifyParameterChanged(int record);
  void NotifyParameterChanged() { NotifyParameterChanged(recordNumber_); }

  static QColor BackgroundColor() { return QColor(79, 164, 163); }
  static QColor DisabledFaceColor() { return QColor(176, 190, 190); }
  static QColor DisabledTextColor() { return QColor(96, 104, 104); }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  RecordImage& MutableImage() { return image_; }

 private:
  int dialogId_;
  QString title_;
  int16_t recordNumber_ = 128;
  RecordImage image_{};
};

}  // namespace axtune
