#include "window/SettingsDialog.h"

#include "window/FocusKeeper.h"

#include "app/Kestrum.h"
#include "base/SetupFile.h"
#include "base/TextHelpers.h"
#include "screen/Catalogue.h"
#include "serial/PortMap.h"

#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QColor ViewingText(192, 192, 192);

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}
} // namespace

SettingsDialog::SettingsDialog(Kestrum &app, QWidget *mainWindow) : QDialog(mainWindow), m_app(app)
{
    setObjectName(QStringLiteral("frmInstellingen"));
    setWindowTitle(QStringLiteral("Instellingen"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto *label1 = new QLabel(QStringLiteral("ComPort:"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_comboCom = new QComboBox(this);
    m_comboCom->setObjectName(QStringLiteral("ComboCom"));
    m_comboCom->setEditable(true);
    m_comboCom->setInsertPolicy(QComboBox::NoInsert);
    m_comboCom->setCompleter(nullptr);
    m_device = new QLabel(this);
    m_device->setObjectName(QStringLiteral("LblDevice"));
    auto *label2 = new QLabel(QStringLiteral("Path to settings:"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    m_txtSetPath = new QLineEdit(this);
    m_txtSetPath->setObjectName(QStringLiteral("TxtSetPath"));
    m_txtSetPath->setMinimumWidth(320);

    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("CmdCancel"));
    m_cmdWijzigen = new QPushButton(QStringLiteral("Change"), this);
    m_cmdWijzigen->setObjectName(QStringLiteral("CmdWijzigen"));
    m_cmdSave = new QPushButton(QStringLiteral("Save"), this);
    m_cmdSave->setObjectName(QStringLiteral("CmdSave"));
    m_cmdClose = new QPushButton(QStringLiteral("Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("CmdClose"));
    for (QPushButton *button : {m_cmdCancel, m_cmdWijzigen, m_cmdSave, m_cmdClose})
        button->setAutoDefault(false);

    auto *grid = new QGridLayout;
    grid->addWidget(label1, 0, 0);
    grid->addWidget(m_comboCom, 0, 1);
    grid->addWidget(m_device, 0, 2);
    grid->addWidget(label2, 1, 0);
    grid->addWidget(m_txtSetPath, 1, 1, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdCancel);
    buttons->addWidget(m_cmdWijzigen);
    buttons->addStretch();
    buttons->addWidget(m_cmdSave);
    buttons->addWidget(m_cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    setTabOrder(m_comboCom, m_txtSetPath);
    setTabOrder(m_txtSetPath, m_cmdWijzigen);
    setTabOrder(m_cmdWijzigen, m_cmdClose);
    setTabOrder(m_cmdClose, m_cmdCancel);
    setTabOrder(m_cmdCancel, m_cmdSave);

    connect(m_cmdWijzigen, &QPushButton::clicked, this, &SettingsDialog::CmdWijzigen);
    connect(m_cmdCancel, &QPushButton::clicked, this, &SettingsDialog::CmdCancel);
    connect(m_cmdSave, &QPushButton::clicked, this, &SettingsDialog::CmdSave);
    connect(m_cmdClose, &QPushButton::clicked, this, &SettingsDialog::CmdClose);
    connect(m_comboCom, &QComboBox::currentTextChanged, this, &SettingsDialog::showDevice);

    // Loading: the list anew, the Viewing look, the globals in the fields.
    m_comboCom->clear();
    m_cmdCancel->setEnabled(false);
    m_cmdSave->setEnabled(false);
    LockCombo();
    for (int n = 1; n <= 30; ++n)
        m_comboCom->addItem(QStringLiteral("Com") + NumToText(n));
    UpdateCombo();

    new FocusKeeper(*this, m_app.dialogs, false);
}

void SettingsDialog::LockCombo()
{
    m_comboCom->setEnabled(false);
    m_txtSetPath->setReadOnly(true);
    setTextColour(m_comboCom, ViewingText);
    setTextColour(m_txtSetPath, ViewingText);
}

void SettingsDialog::UnlockCombo()
{
    m_comboCom->setEnabled(true);
    m_txtSetPath->setReadOnly(false);
    const QColor windowText = palette().color(QPalette::Active, QPalette::WindowText);
    setTextColour(m_comboCom, windowText);
    setTextColour(m_txtSetPath, windowText);
}

void SettingsDialog::UpdateCombo()
{
    const int index = m_app.globals.ComPortIndex;
    if (index > 29)
        m_comboCom->setCurrentIndex(0);
    else if (index < 0)
        m_comboCom->setCurrentIndex(-1);
    else
        m_comboCom->setCurrentIndex(index);
    m_txtSetPath->setText(m_app.globals.SetPath);
    showDevice();
}

void SettingsDialog::ComboToSettings()
{
    // The list has an edit field: the selected entry is the one whose text was typed.
    m_app.globals.ComPortIndex =
        qint16(m_comboCom->findText(m_comboCom->currentText(), Qt::MatchFixedString));
    m_app.globals.SetPath = m_txtSetPath->text();
}

void SettingsDialog::CmdWijzigen()
{
    m_cmdCancel->setEnabled(true);
    m_cmdSave->setEnabled(true);
    m_cmdClose->setEnabled(false);
    m_cmdWijzigen->setEnabled(false);
    UnlockCombo();
}

void SettingsDialog::CmdCancel()
{
    m_cmdCancel->setEnabled(false);
    m_cmdSave->setEnabled(false);
    m_cmdClose->setEnabled(true);
    m_cmdWijzigen->setEnabled(true);
    LockCombo();
    UpdateCombo();
}

void SettingsDialog::CmdSave()
{
    m_cmdCancel->setEnabled(false);
    m_cmdSave->setEnabled(false);
    m_cmdClose->setEnabled(true);
    m_cmdWijzigen->setEnabled(true);
    LockCombo();
    ComboToSettings();
    WriteSetupFile(m_app.globals);
    BuildScreen(m_app.screen);
    m_app.files.ReadDefaultFile();
    m_app.datacom.CloseComPort();
    m_app.OpenConverterPort();
}

void SettingsDialog::CmdClose()
{
    hide();
    close();
}

bool SettingsDialog::isEditing() const
{
    return m_cmdSave->isEnabled();
}

void SettingsDialog::showDevice()
{
    const int index = m_comboCom->findText(m_comboCom->currentText(), Qt::MatchFixedString);
    if (index < 0) {
        m_device->setText(QStringLiteral("(no port selected)"));
        return;
    }
    const QString device = DeviceForPort(index + 1, m_app.globals.ProgramFolder);
    if (device.isEmpty()) {
        m_device->setText(QStringLiteral("(no device)"));
        return;
    }
    const bool present = QFileInfo::exists(device);
    m_device->setText(device +
                      (present ? QStringLiteral(" (present)") : QStringLiteral(" (not present)")));
}
