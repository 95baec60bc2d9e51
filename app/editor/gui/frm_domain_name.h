#pragma once
// The modal dialog that asks for a domain name ("Enter the Domain Name:").
// The accepted name goes to model::maskPartition.DomainNameText; empty means
// cancelled.
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include <functional>

namespace editor {

class FrmDomainName : public QDialog {
    Q_OBJECT
public:
    explicit FrmDomainName(QWidget* parent = nullptr);

    QLineEdit* txtDomainName;
    QCheckBox* chkAutomaticallyNumberDomains;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void chkAutomaticallyNumberDomains_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

    // Shows the dialog modally and returns when it is hidden.
    void ShowModal();
    // Tests answer the dialog here instead of a modal loop.
    static std::function<void(FrmDomainName&)>& ModalHook();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};

// The one dialog, created on first use.
FrmDomainName& frmDomainName();
void DestroyDomainNameDialog();

} // namespace editor
