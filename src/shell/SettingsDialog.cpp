#include "shell/SettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "settings/SettingsFile.h"
#include "shell/PagePreview.h"
#include "shell/Translation.h"
#include "util/Format.h"

namespace shell {
namespace {

constexpr double kMillimetresPerInch = 25.4;
const char* const kPapers[] = {"A4", "A5", "A3", "B5", "Letter", "Legal"};
const std::pair<const char*, const char*> kPositions[] = {
    {"center", "居中"}, {"left", "左侧"}, {"right", "右侧"}, {"outside", "外侧（奇数页在右，偶数页在左）"}};

bool Near(double a, double b, double within) {
    return std::fabs(a - b) <= within;
}

// A number as the settings file writes it: no trailing zeros.
std::string Number(double value) {
    std::string text = util::FormatString("%.2f", value);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

QDoubleSpinBox* Millimetres(QWidget* parent, const char* name, double most) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, most);
    box->setDecimals(1);
    box->setSingleStep(1);
    box->setSuffix(" mm");
    return box;
}

QLabel* Note(const QString& text, QWidget* parent) {
    auto* note = new QLabel(text, parent);
    note->setObjectName("settings_note");
    // One line each: a wrapped label makes the dialog's height depend on its width, and such a dialog
    // opened smaller than its fields need, squeezing them.
    note->setStyleSheet("color: #78909c;");
    return note;
}

}  // namespace

SettingsDialog::SettingsDialog(std::string settingsPath, QWidget* parent)
    : QDialog(parent), path_(std::move(settingsPath)) {
    setObjectName("settings_dialog");
    setWindowTitle(Tr("设置"));
    stored_ = settings::ReadEditableSettings(path_);
    // What the stored texts read as; a text that does not read keeps the default.
    (void)engine::ParsePaper(stored_.paper, storedSetup_);
    (void)engine::ParseMargins(stored_.margins, storedSetup_);
    (void)engine::ParseScale(stored_.scale, storedSetup_);

    // Output.
    auto* outputGroup = new QGroupBox(Tr("输出"), this);
    auto* outputForm = new QFormLayout(outputGroup);
    output_ = new QLineEdit(QString::fromStdString(stored_.outputFolder), outputGroup);
    output_->setObjectName("output_folder");
    output_->setPlaceholderText(Tr("每本书所在的文件夹"));
    output_->setMinimumWidth(output_->fontMetrics().horizontalAdvance(output_->placeholderText()) + 40);
    output_->setAccessibleName(Tr("PDF保存到"));
    auto* choose = new QPushButton(Tr("选择…"), outputGroup);
    choose->setObjectName("output_browse");
    choose->setAccessibleName(Tr("选择输出文件夹"));
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, Tr("PDF保存到哪个文件夹"), output_->text());
        if (!folder.isEmpty())
            output_->setText(folder);
    });
    auto* outputRow = new QHBoxLayout();
    outputRow->addWidget(output_, 1);
    outputRow->addWidget(choose);
    outputForm->addRow(Tr("PDF保存到"), outputRow);
    outputForm->addRow(QString(), Note(Tr("留空：每个PDF放在它的EPUB旁边。"), outputGroup));

    // The page.
    auto* pageGroup = new QGroupBox(Tr("页面"), this);
    auto* pageForm = new QFormLayout(pageGroup);
    pageForm->setFieldGrowthPolicy(
        QFormLayout::FieldsStayAtSizeHint);  // a number field as wide as its number
    paper_ = new QComboBox(pageGroup);
    paper_->setObjectName("paper");
    for (const char* name : kPapers) paper_->addItem(QString::fromLatin1(name), QString::fromLatin1(name));
    paper_->addItem(Tr("自定义"), QString());
    paper_->setAccessibleName(Tr("纸张"));
    customPaper_ = new QWidget(pageGroup);
    auto* custom = new QHBoxLayout(customPaper_);
    custom->setContentsMargins(0, 0, 0, 0);
    paperWidth_ = Millimetres(customPaper_, "paper_width", 2000);
    paperWidth_->setAccessibleName(Tr("纸张宽度"));
    paperHeight_ = Millimetres(customPaper_, "paper_height", 2000);
    paperHeight_->setAccessibleName(Tr("纸张高度"));
    custom->addWidget(paperWidth_);
    custom->addWidget(new QLabel("×", customPaper_));
    custom->addWidget(paperHeight_);
    custom->addStretch(1);
    landscape_ = new QCheckBox(Tr("横向"), pageGroup);
    landscape_->setObjectName("landscape");
    landscape_->setChecked(stored_.landscape);
    auto* paperRow = new QHBoxLayout();
    paperRow->addWidget(paper_);
    paperRow->addWidget(landscape_);
    paperRow->addStretch(1);
    auto* paperLabel = new QLabel(Tr("纸张"), pageGroup);
    paperLabel->setBuddy(paper_);
    pageForm->addRow(paperLabel, paperRow);
    pageForm->addRow(QString(), customPaper_);
    const char* sides[] = {"margin_top", "margin_right", "margin_bottom", "margin_left"};
    const char* sideNames[] = {"上", "右", "下", "左"};
    const double inches[] = {storedSetup_.marginTop, storedSetup_.marginRight, storedSetup_.marginBottom,
                             storedSetup_.marginLeft};
    QHBoxLayout* marginRows[2] = {new QHBoxLayout(), new QHBoxLayout()};
    for (int i : {0, 2, 3, 1}) {  // top and bottom on one line, left and right on the next
        margins_[i] = Millimetres(pageGroup, sides[i], 500);
        margins_[i]->setValue(inches[i] * kMillimetresPerInch);
        margins_[i]->setAccessibleName(Tr("页边距：%1").arg(Tr(sideNames[i])));
        auto* label = new QLabel(Tr(sideNames[i]), pageGroup);
        label->setBuddy(margins_[i]);
        QHBoxLayout* row = marginRows[i == 0 || i == 2 ? 0 : 1];
        row->addWidget(label);
        row->addWidget(margins_[i]);
    }
    for (QHBoxLayout* row : marginRows) row->addStretch(1);
    auto* marginLabel = new QLabel(Tr("页边距"), pageGroup);
    marginLabel->setBuddy(margins_[0]);
    pageForm->addRow(marginLabel, marginRows[0]);
    pageForm->addRow(QString(), marginRows[1]);
    scale_ = new QSpinBox(pageGroup);
    scale_->setObjectName("scale");
    scale_->setRange(10, 200);
    scale_->setSingleStep(5);
    scale_->setSuffix(" %");
    scale_->setValue(static_cast<int>(std::lround(storedSetup_.scale * 100)));
    scale_->setAccessibleName(Tr("缩放"));
    auto* scaleLabel = new QLabel(Tr("缩放"), pageGroup);
    scaleLabel->setBuddy(scale_);
    pageForm->addRow(scaleLabel, scale_);

    // Page numbers and header.
    auto* stampGroup = new QGroupBox(Tr("页码和页眉"), this);
    auto* stampLayout = new QVBoxLayout(stampGroup);
    pageNumbers_ = new QCheckBox(Tr("页码"), stampGroup);
    pageNumbers_->setObjectName("page_numbers");
    pageNumbers_->setChecked(stored_.pageNumbers);
    position_ = new QComboBox(stampGroup);
    position_->setObjectName("number_position");
    position_->setAccessibleName(Tr("页码位置"));
    for (const auto& [key, text] : kPositions) position_->addItem(Tr(text), QString::fromLatin1(key));
    position_->setCurrentIndex(
        std::max(0, position_->findData(QString::fromStdString(stored_.numberPosition))));
    auto* numbersRow = new QHBoxLayout();
    numbersRow->addWidget(pageNumbers_);
    numbersRow->addWidget(position_, 1);
    header_ = new QCheckBox(Tr("页眉显示书名"), stampGroup);
    header_->setObjectName("header");
    header_->setChecked(stored_.header);
    plainFirstPage_ = new QCheckBox(Tr("首页（封面）不显示页码和页眉"), stampGroup);
    plainFirstPage_->setObjectName("plain_first_page");
    plainFirstPage_->setChecked(!stored_.numberFirstPage);
    stampLayout->addLayout(numbersRow);
    stampLayout->addWidget(header_);
    stampLayout->addWidget(plainFirstPage_);

    // The conversion.
    auto* runGroup = new QGroupBox(Tr("转换"), this);
    auto* runForm = new QFormLayout(runGroup);
    jobs_ = new QSpinBox(runGroup);
    jobs_->setObjectName("jobs");
    jobs_->setRange(0, 20);
    jobs_->setSpecialValueText(Tr("自动（按本机能力）"));
    jobs_->setSuffix(Tr(" 本"));
    jobs_->setValue(stored_.jobs);
    jobs_->setAccessibleName(Tr("同时转换"));
    runForm->addRow(Tr("同时转换"), jobs_);
    browser_ = new QLineEdit(QString::fromStdString(stored_.browserPath), runGroup);
    browser_->setObjectName("browser_path");
    browser_->setPlaceholderText(Tr("自动查找"));
    browser_->setAccessibleName(Tr("浏览器"));
    auto* browse = new QPushButton(Tr("浏览…"), runGroup);
    browse->setObjectName("browser_browse");
    browse->setAccessibleName(Tr("选择浏览器"));
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, Tr("选择Chromium浏览器"), browser_->text());
        if (!file.isEmpty())
            browser_->setText(file);
    });
    auto* browserRow = new QHBoxLayout();
    browserRow->addWidget(browser_, 1);
    browserRow->addWidget(browse);
    runForm->addRow(Tr("浏览器"), browserRow);
    runForm->addRow(QString(), Note(Tr("留空：使用本机的Chromium，没有时自动下载。"), runGroup));

    // The picture of the page, beside the groups.
    preview_ = new PagePreview(this);
    auto* previewGroup = new QGroupBox(Tr("预览"), this);
    auto* previewLayout = new QVBoxLayout(previewGroup);
    previewLayout->addWidget(preview_, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("settings_ok");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("settings_cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    auto* left = new QVBoxLayout();
    left->addWidget(outputGroup);
    left->addWidget(pageGroup);
    left->addWidget(stampGroup);
    left->addWidget(runGroup);
    left->addStretch(1);
    auto* columns = new QHBoxLayout();
    columns->addLayout(left, 3);
    columns->addWidget(previewGroup, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(buttons);

    ShowPaper(storedSetup_);
    for (QCheckBox* box : {landscape_, pageNumbers_, header_, plainFirstPage_})
        connect(box, &QCheckBox::toggled, this, &SettingsDialog::Changed);
    for (QComboBox* box : {paper_, position_})
        connect(box, &QComboBox::currentIndexChanged, this, &SettingsDialog::Changed);
    for (QDoubleSpinBox* box :
         {paperWidth_, paperHeight_, margins_[0], margins_[1], margins_[2], margins_[3]})
        connect(box, &QDoubleSpinBox::valueChanged, this, &SettingsDialog::Changed);
    connect(scale_, &QSpinBox::valueChanged, this, &SettingsDialog::Changed);
    Changed();
}

void SettingsDialog::ShowPaper(const engine::PageSetup& setup) {
    int index = paper_->count() - 1;  // custom, unless the size is one of the named ones
    for (int i = 0; i + 1 < paper_->count(); ++i) {
        engine::PageSetup named;
        (void)engine::ParsePaper(paper_->itemData(i).toString().toStdString(), named);
        if (Near(named.width, setup.width, 0.01) && Near(named.height, setup.height, 0.01))
            index = i;
    }
    paper_->setCurrentIndex(index);
    paperWidth_->setValue(setup.width * kMillimetresPerInch);
    paperHeight_->setValue(setup.height * kMillimetresPerInch);
}

engine::PageSetup SettingsDialog::Setup() const {
    engine::PageSetup setup;
    (void)engine::ParsePaper(PaperText(), setup);
    (void)engine::ParseMargins(MarginsText(), setup);
    (void)engine::ParseScale(ScaleText(), setup);
    setup.landscape = landscape_->isChecked();
    setup.pageNumbers = pageNumbers_->isChecked();
    (void)engine::ParseNumberPosition(position_->currentData().toString().toStdString(), setup);
    setup.header = header_->isChecked();
    setup.numberFirstPage = !plainFirstPage_->isChecked();
    return setup;
}

void SettingsDialog::Changed() {
    const bool custom = paper_->currentData().toString().isEmpty();
    customPaper_->setVisible(custom);
    position_->setEnabled(pageNumbers_->isChecked());
    plainFirstPage_->setEnabled(pageNumbers_->isChecked() || header_->isChecked());
    preview_->SetSetup(Setup());
}

std::string SettingsDialog::PaperText() const {
    const QString named = paper_->currentData().toString();
    if (!named.isEmpty()) {
        engine::PageSetup chosen;
        (void)engine::ParsePaper(named.toStdString(), chosen);
        const bool same =
            Near(chosen.width, storedSetup_.width, 0.01) && Near(chosen.height, storedSetup_.height, 0.01);
        return same ? stored_.paper : named.toStdString();
    }
    const double width = paperWidth_->value(), height = paperHeight_->value();
    if (Near(width, storedSetup_.width * kMillimetresPerInch, 0.05) &&
        Near(height, storedSetup_.height * kMillimetresPerInch, 0.05))
        return stored_.paper;
    return Number(width) + "x" + Number(height) + "mm";
}

std::string SettingsDialog::MarginsText() const {
    const double stored[] = {storedSetup_.marginTop, storedSetup_.marginRight, storedSetup_.marginBottom,
                             storedSetup_.marginLeft};
    bool unchanged = true, even = true;
    for (int i = 0; i < 4; ++i) {
        unchanged = unchanged && Near(margins_[i]->value(), stored[i] * kMillimetresPerInch, 0.05);
        even = even && Near(margins_[i]->value(), margins_[0]->value(), 1e-9);
    }
    if (unchanged)
        return stored_.margins;
    if (even)
        return Number(margins_[0]->value()) + "mm";
    return Number(margins_[0]->value()) + "," + Number(margins_[1]->value()) + "," +
           Number(margins_[2]->value()) + "," + Number(margins_[3]->value()) + "mm";
}

std::string SettingsDialog::ScaleText() const {
    if (scale_->value() == static_cast<int>(std::lround(storedSetup_.scale * 100)))
        return stored_.scale;
    return std::to_string(scale_->value()) + "%";
}

std::string SettingsDialog::Save() {
    // Every page value reads, as the command line reads it, before anything is stored.
    engine::PageSetup setup;
    const std::pair<const char*, std::string (*)(const std::string&, engine::PageSetup&)> checks[] = {
        {"纸张", engine::ParsePaper}, {"页边距", engine::ParseMargins}, {"缩放", engine::ParseScale}};
    const std::string texts[] = {PaperText(), MarginsText(), ScaleText()};
    for (size_t i = 0; i < std::size(checks); ++i) {
        if (std::string why = checks[i].second(texts[i], setup); !why.empty())
            return Tr(checks[i].first).toStdString() + ": " + why;
    }
    setup.landscape = landscape_->isChecked();
    if (std::string why = engine::CheckPageSetup(setup); !why.empty())
        return Tr("页边距").toStdString() + ": " + why;
    const std::string browser = browser_->text().trimmed().toStdString();
    if (std::string why = settings::CheckBrowserPath(browser); !why.empty())
        return Tr("浏览器").toStdString() + ": " + why;
    settings::EditableSettings values = stored_;
    values.outputFolder = output_->text().trimmed().toStdString();
    values.jobs = jobs_->value();
    values.paper = texts[0];
    values.landscape = landscape_->isChecked();
    values.margins = texts[1];
    values.scale = texts[2];
    values.pageNumbers = pageNumbers_->isChecked();
    values.numberPosition = position_->currentData().toString().toStdString();
    values.header = header_->isChecked();
    values.numberFirstPage = !plainFirstPage_->isChecked();
    values.browserPath = browser;
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
