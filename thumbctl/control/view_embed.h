#pragma once
// Hosting the thumbnail-list control in a Qt window the way a container does:
// the module is registered in a private class registry, the control created
// by its ProgID and driven only through its automation members and events.
// Used by the command-line tool and the control's window tests.
#include "thumbctl/control/host/eventrecorder.h"
#include "thumbctl/control/host/object.h"

#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace thumbctl {

// Every event with its arguments is kept in `events`; `onEvent` runs inside
// each one.
class EmbeddedControl : public host::EventRecorder {
public:
    // Registers libNorvikel.so from `moduleFolder` in a registry of its own
    // and creates the control's window in `parent`, at run time.
    static std::unique_ptr<EmbeddedControl> Create(QWidget* parent, const std::string& moduleFolder,
                                                   std::string* error);
    ~EmbeddedControl() override;

    QWidget* widget() const { return widget_; }

    // Members by name; a raised error is kept in lastException().
    bool Put(const std::string& name, const host::Variant& value, std::vector<host::Variant> index = {});
    host::Variant Get(const std::string& name, std::vector<host::Variant> index = {});
    host::Variant Call(const std::string& name, std::vector<host::Variant> args = {});
    const std::string& lastException() const { return exception_; }

private:
    EmbeddedControl() = default;
    // A member by name; keeps the description of a raised error.
    host::Status Invoke(const std::string& name, host::InvokeKind kind, const std::vector<host::Variant>& args,
                        host::Variant* result);

    std::unique_ptr<QTemporaryDir> registryDir_;
    host::Ref<host::Dispatch> dispatch_;
    host::Ref<host::ConnectionPoints> points_;
    uint32_t cookie_ = 0;
    QWidget* widget_ = nullptr;
    std::string exception_;
};

} // namespace thumbctl
