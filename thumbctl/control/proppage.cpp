// The control's property page and its page object.
#include "thumbctl/control/proppage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "thumbctl/control/host/controlbase.h"

namespace thumbctl {

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

QComboBox* Combo(QWidget* parent, std::initializer_list<const char*> entries, const char* name)
{
    auto* c = new QComboBox(parent);
    for (const char* e : entries) c->addItem(U(e));
    c->setObjectName(name);
    return c;
}

QLabel* Buddy(const char* text, QWidget* control)
{
    auto* l = new QLabel(U(text));
    l->setBuddy(control);
    return l;
}

} // namespace

ThumbnailPageWidget::ThumbnailPageWidget(QWidget* parent) : PropertyPageWidget(parent)
{
    captionType_ = Combo(this, {"ｷｬﾌﾟｼｮﾝなし", "ｲﾝﾃﾞｯｸｽ番号", "ﾌｧｲﾙ名", "ｷｰ文字列", "ﾗﾍﾞﾙ文字列"}, "CaptionType");
    sortType_ = Combo(this,
                      {"ｿｰﾄなし", "ﾌｧｲﾙ名(昇順)", "ﾌｧｲﾙ名(降順)", "ﾌｧｲﾙ拡張子(昇順)", "ﾌｧｲﾙ拡張子(降順)",
                       "ﾌｧｲﾙ日付(昇順)", "ﾌｧｲﾙ日付(降順)", "ｷｰ文字列(昇順)", "ｷｰ文字列(降順)", "ﾗﾍﾞﾙ文字列(昇順)",
                       "ﾗﾍﾞﾙ文字列(降順)"},
                      "SortType");
    dataSource_ = Combo(this, {"直接ﾌｧｲﾙ指定", "ﾌｫﾙﾀﾞ指定", "ﾏﾙﾁﾍﾟｰｼﾞ指定", "間接ﾌｧｲﾙ指定"}, "DataSource");
    scrollDirection_ = Combo(this, {"垂直方向", "水平方向"}, "ScrollDirection");
    dataPath_ = new QLineEdit(this);
    pattern_ = new QLineEdit(this);
    selectLimit_ = new QLineEdit(this);
    selectLimit_->setValidator(new QIntValidator(selectLimit_));
    topIndex_ = new QLineEdit(this);
    topIndex_->setValidator(new QIntValidator(topIndex_));
    width_ = new QSpinBox(this);
    height_ = new QSpinBox(this);
    for (QSpinBox* s : {width_, height_}) s->setRange(1, 32767);
    autoUpdate_ = new QCheckBox(U("自動更新(&U)"), this);

    auto* left = new QFormLayout;
    left->addRow(Buddy("ｷｬﾌﾟｼｮﾝ形式(&T):", captionType_), captionType_);
    left->addRow(Buddy("ｿｰﾄ形式(&S):", sortType_), sortType_);
    left->addRow(Buddy("ﾃﾞｰﾀ指定方法(&D):", dataSource_), dataSource_);
    left->addRow(Buddy("表示対象ﾊﾟｽ(&P):", dataPath_), dataPath_);
    left->addRow(Buddy("検索条件(&C):", pattern_), pattern_);
    auto* right = new QFormLayout;
    right->addRow(Buddy("ｽｸﾛｰﾙ方向(&R):", scrollDirection_), scrollDirection_);
    right->addRow(Buddy("選択上限数(&M):", selectLimit_), selectLimit_);
    right->addRow(Buddy("初期表示番号(&I):", topIndex_), topIndex_);
    auto* size = new QGroupBox(U("ｻｲｽﾞ"), this);
    auto* sizeForm = new QFormLayout(size);
    sizeForm->addRow(Buddy("幅(&W):", width_), width_);
    sizeForm->addRow(Buddy("高さ(&H):", height_), height_);
    right->addRow(size);
    right->addRow(autoUpdate_);
    auto* columns = new QHBoxLayout(this);
    columns->addLayout(left);
    columns->addLayout(right);

    // Accessible names: the label text beside each control.
    const std::pair<QWidget*, const char*> names[] = {
        {captionType_, "ｷｬﾌﾟｼｮﾝ形式"}, {sortType_, "ｿｰﾄ形式"}, {dataSource_, "ﾃﾞｰﾀ指定方法"},
        {dataPath_, "表示対象ﾊﾟｽ"}, {pattern_, "検索条件"}, {scrollDirection_, "ｽｸﾛｰﾙ方向"},
        {selectLimit_, "選択上限数"}, {topIndex_, "初期表示番号"}, {width_, "幅"}, {height_, "高さ"},
        {autoUpdate_, "自動更新"}};
    for (const auto& n : names) n.first->setAccessibleName(U(n.second));

    for (QComboBox* c : {dataSource_, captionType_, scrollDirection_, sortType_})
        connect(c, qOverload<int>(&QComboBox::activated), this, [this] { setDirty(true); });
    for (QLineEdit* e : {dataPath_, pattern_, selectLimit_, topIndex_})
        connect(e, &QLineEdit::textEdited, this, [this] { setDirty(true); });
    // Typing marks the page changed even before the text is a valid size.
    for (QSpinBox* s : {width_, height_})
        connect(s->findChild<QLineEdit*>(), &QLineEdit::textEdited, this, [this] { setDirty(true); });
    connect(autoUpdate_, &QCheckBox::toggled, this, [this] { setDirty(true); });
}

QString ThumbnailPageWidget::caption() const { return U("全般"); }

void ThumbnailPageWidget::loadFromObjects()
{
    auto select = [](QComboBox* c, int index) { c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1); };
    const QSignalBlocker b1(width_), b2(height_), b3(autoUpdate_);
    dataPath_->setText(QString::fromStdString(getProperty("DataPath").text()));
    pattern_->setText(QString::fromStdString(getProperty("Pattern").text()));
    selectLimit_->setText(QString::number(getProperty("SelectLimit").integer()));
    height_->setValue(getProperty("ThumbnailHeight").integer());
    width_->setValue(getProperty("ThumbnailWidth").integer());
    topIndex_->setText(QString::number(getProperty("TopIndex").integer()));
    select(captionType_, getProperty("CaptionType").integer() - 1);
    select(dataSource_, getProperty("DataSource").integer() - 1);
    select(scrollDirection_, getProperty("ScrollDirection").integer() - 1);
    select(sortType_, getProperty("SortType").integer());
    autoUpdate_->setChecked(getProperty("AutoUpdate").boolean());
    setDirty(false);
    update();
}

bool ThumbnailPageWidget::applyToObjects(std::string* error)
{
    // Sizes typed past the spin range are refused before anything is written.
    for (QSpinBox* s : {height_, width_}) {
        const QString typed = s->cleanText();
        bool ok = false;
        const int v = typed.toInt(&ok);
        if (!ok || v < 1 || v > 32767) {
            if (error) *error = "Enter an integer between 1 and 32767.";
            s->setFocus();
            return false;
        }
    }
    auto put = [&](const char* name, const host::Variant& v) { return putProperty(name, v, error); };
    bool ok = put("DataPath", host::Variant::String(dataPath_->text().toStdString())) &&
              put("Pattern", host::Variant::String(pattern_->text().toStdString())) &&
              put("SelectLimit", host::Variant::Long(selectLimit_->text().toInt())) &&
              put("ThumbnailHeight", host::Variant::Short(int16_t(height_->value()))) &&
              put("ThumbnailWidth", host::Variant::Short(int16_t(width_->value()))) &&
              put("TopIndex", host::Variant::Long(topIndex_->text().toInt()));
    if (ok && captionType_->currentIndex() >= 0)
        ok = put("CaptionType", host::Variant::Short(int16_t(captionType_->currentIndex() + 1)));
    if (ok && dataSource_->currentIndex() >= 0)
        ok = put("DataSource", host::Variant::Short(int16_t(dataSource_->currentIndex() + 1)));
    if (ok && scrollDirection_->currentIndex() >= 0)
        ok = put("ScrollDirection", host::Variant::Short(int16_t(scrollDirection_->currentIndex() + 1)));
    if (ok && sortType_->currentIndex() >= 0)
        ok = put("SortType", host::Variant::Short(int16_t(sortType_->currentIndex())));
    if (ok) ok = put("AutoUpdate", host::Variant::Bool(autoUpdate_->isChecked()));
    if (ok) setDirty(false);
    return ok;
}

CThumbnailPropPage::CThumbnailPropPage() { host::ModuleAddRef(); }

CThumbnailPropPage::~CThumbnailPropPage()
{
    for (host::Dispatch* d : objects_) d->Release();
    host::ModuleRelease();
}

host::Status CThumbnailPropPage::QueryInterface(const std::string& iid, void** out)
{
    if (!out) return host::kInvalidPointer;
    *out = nullptr;
    if (iid != host::kIidUnknown && iid != host::kIidPropertyPage) return host::kNoInterface;
    AddRef();
    *out = static_cast<host::PropertyPageObject*>(this);
    return host::kOk;
}

uint32_t CThumbnailPropPage::Release()
{
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
}

host::Status CThumbnailPropPage::SetObjects(const std::vector<host::Dispatch*>& objects)
{
    for (host::Dispatch* d : objects) d->AddRef();
    for (host::Dispatch* d : objects_) d->Release();
    objects_ = objects;
    return host::kOk;
}

host::PropertyPageWidget* CThumbnailPropPage::CreatePage(QWidget* parent)
{
    auto* page = new ThumbnailPageWidget(parent);
    page->setObjects(objects_);
    return page;
}

} // namespace thumbctl
