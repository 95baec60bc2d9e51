#include "app/editor/gui/frm_domain_name.h"

#include "app/core/model/model.h"
#include "app/editor/core/domain_names.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QVBoxLayout>

namespace editor {

FrmDomainName::FrmDomainName(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmDomainName");
    setWindowTitle("Enter the Domain Name:");
    setModal(true);
    auto* lay = new QVBoxLayout(this);
    txtDomainName = new QLineEdit("Domain Name", this);
    txtDomainName->setObjectName("txtDomainName");
    txtDomainName->setAccessibleName("Enter the Domain Name");
    chkAutomaticallyNumberDomains = new QCheckBox("&Automatically Number Domain Names", this);
    chkAutomaticallyNumberDomains->setObjectName("chkAutomaticallyNumberDomains");
    cmdOK = new QPushButton("&OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setAutoDefault(false);
    cmdCancel = new QPushButton("&Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setAutoDefault(false);
    lay->addWidget(txtDomainName);
    lay->addWidget(chkAutomaticallyNumberDomains);
    auto* row = new QHBoxLayout;
    row->addWidget(cmdOK);
    row->addWidget(cmdCancel);
    lay->addLayout(row);
    connect(chkAutomaticallyNumberDomains, &QCheckBox::toggled, this, [this] { chkAutomaticallyNumberDomains_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    // Enter in the text box reaches the dialog's key handling, which runs OK once.
}

std::function<void(FrmDomainName&)>& FrmDomainName::ModalHook()
{
    static std::function<void(FrmDomainName&)> hook;
    return hook;
}

void FrmDomainName::ShowModal()
{
    if (ModalHook()) {
        ModalHook()(*this);
        return;
    }
    exec();
}

void FrmDomainName::chkAutomaticallyNumberDomains_Click()
{
    if (chkAutomaticallyNumberDomains->checkState() == Qt::Checked) {
        txtDomainName->setText(QString::fromStdString(AutomaticDomainName(model::maskPartition.CurrentDomain + 1)));
        txtDomainName->setEnabled(false);
    } else {
        txtDomainName->setEnabled(true);
        txtDomainName->selectAll();
        if (isVisible()) txtDomainName->setFocus();
    }
}

void FrmDomainName::cmdOK_Click()
{
    const std::string text = txtDomainName->text().toStdString();
    if (IllegalFilenameCharacterCheck(text)) {
        model::ShowMsg(IllegalDomainNameMessage(), 16, "Invalid Domain Name");
        txtDomainName->selectAll();
        txtDomainName->setFocus();
        return;
    }
    // The partition loader and the crop job refuse the same names: a name
    // accepted here always loads again.
    if (!text.empty() && !IsNumericName(text) && !IsSafeDomainName(text)) {
        model::ShowMsg(UnsafeDomainNameMessage(), 16, "Invalid Domain Name");
        txtDomainName->selectAll();
        txtDomainName->setFocus();
        return;
    }
    model::maskPartition.DomainNameText = text;
    hide();
    if (isModal()) done(QDialog::Accepted);
}

void FrmDomainName::cmdCancel_Click()
{
    hide();
    if (isModal()) done(QDialog::Rejected);
    model::maskPartition.DomainNameText.clear();
}

void FrmDomainName::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    txtDomainName->selectAll();
    txtDomainName->setFocus();
}

void FrmDomainName::closeEvent(QCloseEvent* e)
{
    e->ignore();
    cmdCancel_Click();
}

void FrmDomainName::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        cmdOK_Click();
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        cmdCancel_Click();
        return;
    }
    QDialog::keyPressEvent(e);
}

namespace {
QPointer<FrmDomainName> gDialog;
}

FrmDomainName& frmDomainName()
{
    if (!gDialog) gDialog = new FrmDomainName;
    return *gDialog;
}

void DestroyDomainNameDialog() { delete gDialog.data(); }

} // namespace editor
