// The settings of the window, in the settings file the command line reads too: where the PDFs go (empty:
// next to each book), the page setup and page numbers, how many books convert at once, and the browser.
// A value that cannot be read is refused by name, and nothing is stored until every value reads.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace shell {

class SettingsDialog : public QDialog {
  public:
    SettingsDialog(std::string settingsPath, QWidget* parent = nullptr);

    // Checks every value and stores them; empty, or the first value refused and why (then nothing
    // is stored).
    std::string Save();
    void accept() override;

  private:
    std::string path_;
    QLineEdit* output_;
    QComboBox* paper_;
    QCheckBox* landscape_;
    QLineEdit* margins_;
    QLineEdit* scale_;
    QCheckBox* pageNumbers_;
    QComboBox* position_;
    QCheckBox* header_;
    QSpinBox* jobs_;
    QLineEdit* browser_;
};

}  // namespace shell
