#pragma once
// Property pages: a page widget that edits properties of the objects given
// to it through their dispatch interfaces, and the frame dialog that shows a
// control's pages as tabs with OK, Cancel and Apply. Pages are named by
// class id; the frame makes the stock font and colour pages itself and every
// other page through the class registry.
#include <QDialog>
#include <QWidget>

#include <string>
#include <vector>

#include "thumbctl/control/host/object.h"

class QTabWidget;
class QPushButton;

namespace host {

inline constexpr const char* kStockFontPageId = "{0BE35200-8F91-11CE-9DE3-00AA004BB851}";
inline constexpr const char* kStockColorPageId = "{0BE35201-8F91-11CE-9DE3-00AA004BB851}";

class PropertyPageWidget : public QWidget {
    Q_OBJECT
public:
    explicit PropertyPageWidget(QWidget* parent = nullptr) : QWidget(parent) {}
    // Caption of the page's tab.
    virtual QString caption() const = 0;
    void setObjects(const std::vector<Dispatch*>& objects) { objects_ = objects; }
    // Fills the controls from the first object.
    virtual void loadFromObjects() = 0;
    // Writes the values to every object; false when a value is refused,
    // with the reason for the user in *error (the frame shows it).
    virtual bool applyToObjects(std::string* error) = 0;
    bool isDirty() const { return dirty_; }
    void setDirty(bool dirty);

signals:
    void dirtyChanged(bool dirty);

protected:
    Variant getProperty(const char* name) const;
    // Puts the value into every object; false with the object's description
    // in *error when one refuses it.
    bool putProperty(const char* name, const Variant& value, std::string* error);
    const std::vector<Dispatch*>& objects() const { return objects_; }

private:
    std::vector<Dispatch*> objects_;
    bool dirty_ = false;
};

// The frame: one tab a page, and OK, Cancel and Apply. OK applies every
// page and closes when all accepted their values; a refusal is shown as a
// message (platform/messages.h) and the page stays open.
class PropertyPageFrame : public QDialog {
    Q_OBJECT
public:
    PropertyPageFrame(const QString& title, Dispatch* object, const std::vector<std::string>& pageIds,
                      QWidget* parent = nullptr);
    ~PropertyPageFrame() override;
    int pageCount() const;
    PropertyPageWidget* page(int i) const;
    QTabWidget* tabs() const { return tabs_; }
    // Applies every dirty page; false when one refused.
    bool apply();

private:
    void updateApply();
    std::vector<PropertyPageWidget*> pages_;
    std::vector<Unknown*> pageObjects_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    Dispatch* object_ = nullptr;
};

// Shows a control's property pages modally (its SpecifyPropertyPages list).
void ShowPropertyPages(Unknown* control, const QString& title, QWidget* parent = nullptr);

} // namespace host
