// Property page base, the stock font and colour pages, and the page frame.
#include "thumbctl/control/host/proppage.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/messages.h"
#include "thumbctl/control/host/registry.h"

namespace host {

void PropertyPageWidget::setDirty(bool dirty)
{
    if (dirty_ == dirty) return;
    dirty_ = dirty;
    emit dirtyChanged(dirty);
}

Variant PropertyPageWidget::getProperty(const char* name) const
{
    Variant v;
    if (objects_.empty()) return v;
    int32_t id = 0;
    if (Failed(objects_.front()->GetIDOfName(name, &id))) return v;
    objects_.front()->Invoke(id, InvokeKind::Get, {}, &v, nullptr);
    return v;
}

bool PropertyPageWidget::putProperty(const char* name, const Variant& value, std::string* error)
{
    for (Dispatch* d : objects_) {
        int32_t id = 0;
        if (Failed(d->GetIDOfName(name, &id))) continue;
        ExceptionInfo e;
        const Status s = d->Invoke(id, InvokeKind::Put, {value}, nullptr, &e);
        if (Failed(s)) {
            if (error) *error = s == kException ? e.description : StatusText(s);
            return false;
        }
    }
    return true;
}

namespace {

class StockFontPage : public PropertyPageWidget {
public:
    explicit StockFontPage(QWidget* parent) : PropertyPageWidget(parent)
    {
        auto* form = new QFormLayout(this);
        family_ = new QFontComboBox(this);
        size_ = new QSpinBox(this);
        size_->setRange(1, 200);
        form->addRow(tr("&Font:"), family_);
        form->addRow(tr("&Size:"), size_);
        connect(family_, &QFontComboBox::currentFontChanged, this, [this] { setDirty(true); });
        connect(size_, qOverload<int>(&QSpinBox::valueChanged), this, [this] { setDirty(true); });
    }
    QString caption() const override { return tr("Font"); }
    void loadFromObjects() override
    {
        QFont f;
        const std::string text = getProperty("Font").text();
        if (!text.empty()) f.fromString(QString::fromStdString(text));
        family_->setCurrentFont(f);
        size_->setValue(f.pointSize() > 0 ? f.pointSize() : 9);
        setDirty(false);
    }
    bool applyToObjects(std::string* error) override
    {
        QFont f = family_->currentFont();
        f.setPointSize(size_->value());
        return putProperty("Font", Variant::String(f.toString().toStdString()), error);
    }

private:
    QFontComboBox* family_;
    QSpinBox* size_;
};

class StockColorPage : public PropertyPageWidget {
public:
    explicit StockColorPage(QWidget* parent) : PropertyPageWidget(parent)
    {
        auto* form = new QFormLayout(this);
        value_ = new QLineEdit(this);
        auto* pick = new QPushButton(tr("&Choose..."), this);
        form->addRow(tr("&BackColor:"), value_);
        form->addRow(QString(), pick);
        connect(value_, &QLineEdit::textEdited, this, [this] { setDirty(true); });
        connect(pick, &QPushButton::clicked, this, [this] {
            const uint32_t c = value_->text().toUInt(nullptr, 16);
            const QColor chosen = QColorDialog::getColor(QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)), this);
            if (!chosen.isValid()) return;
            value_->setText(QString::asprintf("%08X", unsigned(chosen.red() | chosen.green() << 8 | chosen.blue() << 16)));
            setDirty(true);
        });
    }
    QString caption() const override { return tr("Color"); }
    void loadFromObjects() override
    {
        value_->setText(QString::asprintf("%08X", unsigned(getProperty("BackColor").integer())));
        setDirty(false);
    }
    bool applyToObjects(std::string* error) override
    {
        bool ok = false;
        const uint32_t c = value_->text().toUInt(&ok, 16);
        if (!ok) {
            if (error) *error = "Enter the colour as 8 hexadecimal digits.";
            return false;
        }
        return putProperty("BackColor", Variant::Long(int32_t(c)), error);
    }

private:
    QLineEdit* value_;
};

} // namespace

PropertyPageFrame::PropertyPageFrame(const QString& title, Dispatch* object, const std::vector<std::string>& pageIds,
                                     QWidget* parent)
    : QDialog(parent), object_(object)
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    layout->addWidget(tabs_);
    for (const std::string& id : pageIds) {
        PropertyPageWidget* page = nullptr;
        if (id == kStockFontPageId) {
            page = new StockFontPage(tabs_);
        } else if (id == kStockColorPageId) {
            page = new StockColorPage(tabs_);
        } else {
            ClassFactory* factory = nullptr;
            PropertyPageObject* po = nullptr;
            if (Succeeded(GetClassFactory(id, &factory))) {
                factory->CreateInstance(nullptr, kIidPropertyPage, reinterpret_cast<void**>(&po));
                factory->Release();
            }
            if (!po) continue;
            po->SetObjects({object});
            page = po->CreatePage(tabs_);
            pageObjects_.push_back(po);
            if (!page) continue;
        }
        page->setObjects({object});
        page->loadFromObjects();
        connect(page, &PropertyPageWidget::dirtyChanged, this, [this] { updateApply(); });
        pages_.push_back(page);
        tabs_->addTab(page, page->caption());
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    applyButton_ = buttons->button(QDialogButtonBox::Apply);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (apply()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(applyButton_, &QPushButton::clicked, this, [this] { apply(); });
    updateApply();
}

PropertyPageFrame::~PropertyPageFrame()
{
    for (PropertyPageWidget* p : pages_) delete p;
    pages_.clear();
    for (Unknown* u : pageObjects_) u->Release();
}

int PropertyPageFrame::pageCount() const { return int(pages_.size()); }
PropertyPageWidget* PropertyPageFrame::page(int i) const { return pages_.at(size_t(i)); }

bool PropertyPageFrame::apply()
{
    for (PropertyPageWidget* p : pages_) {
        if (!p->isDirty()) continue;
        std::string why;
        if (!p->applyToObjects(&why)) {
            tabs_->setCurrentWidget(p);
            platform::ShowMessage(why, platform::kMsgWarning, windowTitle().toStdString());
            return false;
        }
        p->loadFromObjects();
    }
    updateApply();
    return true;
}

void PropertyPageFrame::updateApply()
{
    bool any = false;
    for (PropertyPageWidget* p : pages_) any = any || p->isDirty();
    applyButton_->setEnabled(any);
}

void ShowPropertyPages(Unknown* control, const QString& title, QWidget* parent)
{
    auto pages = Ref<SpecifyPropertyPages>::query(control, kIidSpecifyPropertyPages);
    auto dispatch = Ref<Dispatch>::query(control, kIidDispatch);
    if (!pages || !dispatch) return;
    std::vector<std::string> ids;
    pages->GetPages(&ids);
    PropertyPageFrame frame(title, dispatch.get(), ids, parent);
    frame.exec();
}

} // namespace host
