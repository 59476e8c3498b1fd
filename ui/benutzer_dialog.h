// The user dialog: who works with the tool (name and company, kept in "name.dat" in the start-up
// working directory), and the expert-mode switch that the same file carries.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace axtune {

class CBenutzerDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 144;
  static constexpr int kNameEditId = 1135;
  static constexpr int kCompanyEditId = 1136;

  // Remembers the process's working directory now: "name.dat" lives there for the whole run.
  explicit CBenutzerDialog(QWidget* parent = nullptr);

  QString Name() const { return name_; }
  QString Company() const { return company_; }
  void SetName(const QString& name) { name_ = name; }
  void SetCompany(const QString& company) { company_ = company; }
  QString Directory() const { return directory_; }
  QString FilePath() const;

  // Reads "name.dat" into name and company and tells whether the expert mode is on; the company is
  // then cut at the expert code (the file keeps it). A missing or unreadable file: false, and name
  // and company keep their values.
  bool LoadAndCheck();

  // OK: takes the edits (more than 30 characters are refused with the framework's message), writes
  // "name.dat" and closes. A file that cannot be written is reported and the dialog stays open.
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Takes the edits into name and company; false (after the message) when one is too long.
  bool TakeValues();

  QString company_;
  QString name_;
  QString directory_;
  QLineEdit* nameEdit_ = nullptr;
  QLineEdit* companyEdit_ = nullptr;
};

}  // namespace axtune
