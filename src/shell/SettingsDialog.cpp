#include "shell/SettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "engine/PageSetup.h"
#include "settings/EditableSettings.h"
#include "shell/ShellOperations.h"
#include "shell/Translation.h"

namespace shell {

SettingsDialog::SettingsDialog(std::string settingsPath, QWidget* parent)
    : QDialog(parent), path_(std::move(settingsPath)) {
    setObjectName("settings_dialog");
    setWindowTitle(Tr("设置"));
    const settings::EditableSettings stored = settings::ReadEditableSettings(path_);
    auto* form = new QFormLayout();

    output_ = new QLineEdit(QString::fromStdString(stored.outputFolder), this);
    output_->setObjectName("output_folder");
    output_->setPlaceholderText(Tr("与每本书相同的文件夹"));
    auto* choose = new QPushButton(Tr("选择…"), this);
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, Tr("输出文件夹"), output_->text());
        if (!folder.isEmpty())
            output_->setText(folder);
    });
    auto* outputRow = new QHBoxLayout();
    outputRow->addWidget(output_, 1);
    outputRow->addWidget(choose);
    form->addRow(Tr("输出文件夹"), outputRow);

    paper_ = new QComboBox(this);
    paper_->setObjectName("paper");
    paper_->setEditable(true);
    paper_->addItems({"Letter", "A4", "A3", "A5", "B5", "Legal"});
    paper_->setCurrentText(QString::fromStdString(stored.paper));
    form->addRow(Tr("纸张"), paper_);
    landscape_ = new QCheckBox(Tr("横向"), this);
    landscape_->setObjectName("landscape");
    landscape_->setChecked(stored.landscape);
    form->addRow(QString(), landscape_);
    margins_ = new QLineEdit(QString::fromStdString(stored.margins), this);
    margins_->setObjectName("margins");
    form->addRow(Tr("页边距"), margins_);
    scale_ = new QLineEdit(QString::fromStdString(stored.scale), this);
    scale_->setObjectName("scale");
    form->addRow(Tr("缩放"), scale_);
    pageNumbers_ = new QCheckBox(Tr("页码"), this);
    pageNumbers_->setObjectName("page_numbers");
    pageNumbers_->setChecked(stored.pageNumbers);
    position_ = new QComboBox(this);
    position_->setObjectName("number_position");
    for (const char* p : {"center", "left", "right", "outside"}) position_->addItem(QString::fromLatin1(p));
    position_->setCurrentText(QString::fromStdString(stored.numberPosition));
    auto* numbersRow = new QHBoxLayout();
    numbersRow->addWidget(pageNumbers_);
    numbersRow->addWidget(position_, 1);
    form->addRow(QString(), numbersRow);
    header_ = new QCheckBox(Tr("页眉显示书名"), this);
    header_->setObjectName("header");
    header_->setChecked(stored.header);
    form->addRow(QString(), header_);

    jobs_ = new QSpinBox(this);
    jobs_->setObjectName("jobs");
    jobs_->setRange(0, 20);
    jobs_->setSpecialValueText(Tr("自动"));
    jobs_->setValue(stored.jobs);
    form->addRow(Tr("同时转换"), jobs_);
    browser_ = new QLineEdit(QString::fromStdString(stored.browserPath), this);
    browser_->setObjectName("browser_path");
    browser_->setPlaceholderText(Tr("自动查找"));
    form->addRow(Tr("浏览器"), browser_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

std::string SettingsDialog::Save() {
    // Every page value reads, as the command line reads it, before anything is stored.
    engine::PageSetup setup;
    const std::pair<const char*, std::string (*)(const std::string&, engine::PageSetup&)> checks[] = {
        {"纸张", engine::ParsePaper}, {"页边距", engine::ParseMargins}, {"缩放", engine::ParseScale}};
    const QString texts[] = {paper_->currentText(), margins_->text(), scale_->text()};
    for (size_t i = 0; i < std::size(checks); ++i) {
        if (std::string why = checks[i].second(texts[i].toStdString(), setup); !why.empty())
            return Tr(checks[i].first).toStdString() + ": " + why;
    }
    setup.landscape = landscape_->isChecked();
    if (std::string why = engine::CheckPageSetup(setup); !why.empty())
        return why;
    settings::EditableSettings values;
    values.outputFolder = output_->text().trimmed().toStdString();
    values.jobs = jobs_->value();
    values.paper = paper_->currentText().trimmed().toStdString();
    values.landscape = landscape_->isChecked();
    values.margins = margins_->text().trimmed().toStdString();
    values.scale = scale_->text().trimmed().toStdString();
    values.pageNumbers = pageNumbers_->isChecked();
    values.numberPosition = position_->currentText().toStdString();
    values.header = header_->isChecked();
    values.browserPath = browser_->text().trimmed().toStdString();
    if (!settings::WriteEditableSettings(path_, values))
        return Tr("无法写入设置文件：%1").arg(QString::fromStdString(path_)).toStdString();
    return {};
}

void SettingsDialog::accept() {
    const std::string why = Save();
    if (!why.empty()) {
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(why));
        return;
    }
    QDialog::accept();
}

}  // namespace shell
