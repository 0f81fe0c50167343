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
#include "settings/SettingsFile.h"
#include "shell/ShellOperations.h"
#include "shell/Translation.h"
#include "util/IniFile.h"

namespace shell {

SettingsDialog::SettingsDialog(std::string settingsPath, QWidget* parent)
    : QDialog(parent), path_(std::move(settingsPath)) {
    setObjectName("settings_dialog");
    setWindowTitle(Tr("设置"));
    const util::IniFile app(path_, "app"), page(path_, "page"), browser(path_, "browser");
    auto* form = new QFormLayout();

    output_ = new QLineEdit(QString::fromStdString(app.GetString("output_folder")), this);
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
    paper_->setCurrentText(QString::fromStdString(page.GetString("paper", "Letter")));
    form->addRow(Tr("纸张"), paper_);
    landscape_ = new QCheckBox(Tr("横向"), this);
    landscape_->setObjectName("landscape");
    landscape_->setChecked(page.GetString("landscape") == "1");
    form->addRow(QString(), landscape_);
    margins_ = new QLineEdit(QString::fromStdString(page.GetString("margins", "0.8in")), this);
    margins_->setObjectName("margins");
    form->addRow(Tr("页边距"), margins_);
    scale_ = new QLineEdit(QString::fromStdString(page.GetString("scale", "1.1")), this);
    scale_->setObjectName("scale");
    form->addRow(Tr("缩放"), scale_);
    pageNumbers_ = new QCheckBox(Tr("页码"), this);
    pageNumbers_->setObjectName("page_numbers");
    pageNumbers_->setChecked(page.GetString("page_numbers") == "1");
    position_ = new QComboBox(this);
    position_->setObjectName("number_position");
    for (const char* p : {"center", "left", "right", "outside"}) position_->addItem(QString::fromLatin1(p));
    position_->setCurrentText(QString::fromStdString(page.GetString("number_position", "center")));
    auto* numbersRow = new QHBoxLayout();
    numbersRow->addWidget(pageNumbers_);
    numbersRow->addWidget(position_, 1);
    form->addRow(QString(), numbersRow);
    header_ = new QCheckBox(Tr("页眉显示书名"), this);
    header_->setObjectName("header");
    header_->setChecked(page.GetString("header") == "1");
    form->addRow(QString(), header_);

    jobs_ = new QSpinBox(this);
    jobs_->setObjectName("jobs");
    jobs_->setRange(0, 20);
    jobs_->setSpecialValueText(Tr("自动"));
    jobs_->setValue(app.GetInt("jobs", 0));
    form->addRow(Tr("同时转换"), jobs_);
    browser_ = new QLineEdit(QString::fromStdString(browser.GetString("path")), this);
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
    const util::IniFile app(path_, "app"), page(path_, "page"), browser(path_, "browser");
    app.SetString("output_folder", output_->text().trimmed().toStdString());
    app.SetInt("jobs", jobs_->value());
    page.SetString("paper", paper_->currentText().trimmed().toStdString());
    page.SetString("landscape", landscape_->isChecked() ? "1" : "0");
    page.SetString("margins", margins_->text().trimmed().toStdString());
    page.SetString("scale", scale_->text().trimmed().toStdString());
    page.SetString("page_numbers", pageNumbers_->isChecked() ? "1" : "0");
    page.SetString("number_position", position_->currentText().toStdString());
    page.SetString("header", header_->isChecked() ? "1" : "0");
    browser.SetString("path", browser_->text().trimmed().toStdString());
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
