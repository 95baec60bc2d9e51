#pragma once
// The control's own property page ("全般"): data source, path, patterns,
// caption, scrolling, sort, selection limit, first item, thumbnail size and
// automatic update, each bound to the control property of the same name.
#include <atomic>

#include "thumbctl/control/host/proppage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace thumbctl {

class ThumbnailPageWidget : public host::PropertyPageWidget {
    Q_OBJECT
public:
    explicit ThumbnailPageWidget(QWidget* parent = nullptr);
    QString caption() const override;
    void loadFromObjects() override;
    bool applyToObjects(std::string* error) override;

    QComboBox* dataSource() const { return dataSource_; }
    QLineEdit* dataPath() const { return dataPath_; }
    QLineEdit* pattern() const { return pattern_; }
    QComboBox* captionType() const { return captionType_; }
    QComboBox* scrollDirection() const { return scrollDirection_; }
    QComboBox* sortType() const { return sortType_; }
    QLineEdit* selectLimit() const { return selectLimit_; }
    QLineEdit* topIndex() const { return topIndex_; }
    QSpinBox* thumbnailWidth() const { return width_; }
    QSpinBox* thumbnailHeight() const { return height_; }
    QCheckBox* autoUpdate() const { return autoUpdate_; }

private:
    QComboBox* dataSource_;
    QLineEdit* dataPath_;
    QLineEdit* pattern_;
    QComboBox* captionType_;
    QComboBox* scrollDirection_;
    QComboBox* sortType_;
    QLineEdit* selectLimit_;
    QLineEdit* topIndex_;
    QSpinBox* width_;
    QSpinBox* height_;
    QCheckBox* autoUpdate_;
};

class CThumbnailPropPage : public host::PropertyPageObject {
public:
    static CThumbnailPropPage* Create() { return new CThumbnailPropPage(); }
    host::Status QueryInterface(const std::string& iid, void** out) override;
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override;
    host::Status SetObjects(const std::vector<host::Dispatch*>& objects) override;
    host::PropertyPageWidget* CreatePage(QWidget* parent) override;

private:
    CThumbnailPropPage();
    ~CThumbnailPropPage() override;
    std::atomic<uint32_t> refs_{1};
    std::vector<host::Dispatch*> objects_;
};

} // namespace thumbctl
