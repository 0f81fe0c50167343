// The settings of the window, in the settings file the command line reads too, in groups: where the
// PDFs go (empty: next to each book); the page (paper, orientation, margins in mm, scale in %); page
// numbers and header (and whether the first page shows them); how many books convert at once and the
// browser, chosen with a file dialog. A small picture shows the page setup as it is edited. A value the
// command line would refuse (a browser that is no executable, margins that leave no room) is refused by
// name, and nothing is stored until every value reads.
#pragma once

#include <QDialog>
#include <string>

#include "engine/PageSetup.h"
#include "settings/EditableSettings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace shell {

class PagePreview;

class SettingsDialog : public QDialog {
  public:
    SettingsDialog(std::string settingsPath, QWidget* parent = nullptr);

    // Checks every value and stores them; empty, or the first value refused and why (then nothing
    // is stored).
    std::string Save();
    void accept() override;
    // The page setup as the dialog shows it now.
    engine::PageSetup Setup() const;

  private:
    // The texts the settings file gets: the stored one where the value did not change.
    std::string PaperText() const;
    std::string MarginsText() const;
    std::string ScaleText() const;
    void ShowPaper(const engine::PageSetup& setup);
    void Changed();

    std::string path_;
    settings::EditableSettings stored_;
    engine::PageSetup storedSetup_;  // what the stored texts read as
    QLineEdit* output_;
    QComboBox* paper_;
    QDoubleSpinBox* paperWidth_;
    QDoubleSpinBox* paperHeight_;
    QWidget* customPaper_;
    QCheckBox* landscape_;
    QDoubleSpinBox* margins_[4];  // top, right, bottom, left, in mm
    QSpinBox* scale_;
    QCheckBox* pageNumbers_;
    QComboBox* position_;
    QCheckBox* header_;
    QCheckBox* plainFirstPage_;
    QSpinBox* jobs_;
    QLineEdit* browser_;
    PagePreview* preview_;
};

}  // namespace shell
