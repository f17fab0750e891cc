#include "window/SettingsDialog.h"

#include "window/FocusKeeper.h"

#include "app/Kestrum.h"
#include "base/SetupFile.h"
#include "base/TextHelpers.h"
#include "screen/Catalogue.h"
#include "serial/NetworkAddress.h"
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
const QString PermissionHint =
    QStringLiteral("no permission: add your user to the dialout group and log in again");
const QString BusyText =
    QStringLiteral("The unit is busy; try again when the current work has ended.");
constexpr int SearchTickMs = 25;

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
    // Only its own entries: a typed name would select no port at all.
    m_comboCom->setEditable(false);
    m_device = new QLabel(this);
    m_device->setObjectName(QStringLiteral("LblDevice"));
    m_deviceInfo = new QLabel(this);
    m_deviceInfo->setObjectName(QStringLiteral("LblDeviceInfo"));
    m_deviceInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    m_cmdFind = new QPushButton(QStringLiteral("Find converter"), this);
    m_cmdFind->setObjectName(QStringLiteral("CmdFindConverter"));
    m_cmdKeep = new QPushButton(QStringLiteral("Keep this adapter"), this);
    m_cmdKeep->setObjectName(QStringLiteral("CmdKeepAdapter"));
    m_cmdAddress = new QPushButton(QStringLiteral("Use a network address..."), this);
    m_cmdAddress->setObjectName(QStringLiteral("CmdNetworkAddress"));
    m_findText = new QLabel(this);
    m_findText->setObjectName(QStringLiteral("LblFindConverter"));
    m_findText->setWordWrap(true);
    m_findText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QPushButton *button :
         {m_cmdCancel, m_cmdWijzigen, m_cmdSave, m_cmdClose, m_cmdFind, m_cmdKeep, m_cmdAddress})
        button->setAutoDefault(false);

    auto *grid = new QGridLayout;
    grid->addWidget(label1, 0, 0);
    grid->addWidget(m_comboCom, 0, 1);
    grid->addWidget(m_device, 0, 2);
    grid->addWidget(m_deviceInfo, 1, 1, 1, 2);
    grid->addWidget(label2, 2, 0);
    grid->addWidget(m_txtSetPath, 2, 1, 1, 2);
    auto *search = new QHBoxLayout;
    search->addWidget(m_cmdFind);
    search->addWidget(m_cmdKeep);
    search->addWidget(m_cmdAddress);
    search->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdCancel);
    buttons->addWidget(m_cmdWijzigen);
    buttons->addStretch();
    buttons->addWidget(m_cmdSave);
    buttons->addWidget(m_cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(search);
    layout->addWidget(m_findText);
    layout->addLayout(buttons);

    setTabOrder(m_comboCom, m_txtSetPath);
    setTabOrder(m_txtSetPath, m_cmdWijzigen);
    setTabOrder(m_cmdWijzigen, m_cmdClose);
    setTabOrder(m_cmdClose, m_cmdCancel);
    setTabOrder(m_cmdCancel, m_cmdSave);
    setTabOrder(m_cmdSave, m_cmdFind);
    setTabOrder(m_cmdFind, m_cmdKeep);
    setTabOrder(m_cmdKeep, m_cmdAddress);

    connect(m_cmdWijzigen, &QPushButton::clicked, this, &SettingsDialog::CmdWijzigen);
    connect(m_cmdCancel, &QPushButton::clicked, this, &SettingsDialog::CmdCancel);
    connect(m_cmdSave, &QPushButton::clicked, this, &SettingsDialog::CmdSave);
    connect(m_cmdClose, &QPushButton::clicked, this, &SettingsDialog::CmdClose);
    connect(m_comboCom, &QComboBox::currentTextChanged, this, &SettingsDialog::showDevice);
    connect(m_cmdFind, &QPushButton::clicked, this, &SettingsDialog::CmdFindConverter);
    connect(m_cmdKeep, &QPushButton::clicked, this, &SettingsDialog::CmdKeepAdapter);
    connect(m_cmdAddress, &QPushButton::clicked, this, &SettingsDialog::CmdNetworkAddress);
    m_searchTimer.setInterval(SearchTickMs);
    m_searchTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_searchTimer, &QTimer::timeout, this, &SettingsDialog::searchTick);

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

SettingsDialog::~SettingsDialog()
{
    // Closed half-way through a search: every device is closed, the program's
    // port re-opened.
    if (m_finder) {
        m_finder->stop();
        m_app.EndConverterSearch();
    }
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
    m_app.globals.ComPortIndex = qint16(m_comboCom->currentIndex());
    m_app.globals.SetPath = m_txtSetPath->text();
}

void SettingsDialog::CmdWijzigen()
{
    m_cmdCancel->setEnabled(true);
    // Save waits for a running search: it would re-open the port under a probe.
    m_cmdSave->setEnabled(!m_finder);
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
    m_pendingLink.reset();
    UpdateCombo();
}

void SettingsDialog::CmdSave()
{
    // A converter found on a device without a number: its number now leads to it.
    // Without that link the number would open another device, so nothing is saved.
    if (m_pendingLink && m_pendingLink->portNumber == selectedNumber()) {
        QString error;
        if (!ConverterFinder(m_app).linkFound(*m_pendingLink, &error)) {
            m_findText->setText(error + QStringLiteral("; nothing was saved"));
            return;
        }
    }
    m_pendingLink.reset();
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
    return m_cmdCancel->isEnabled();
}

int SettingsDialog::selectedNumber() const
{
    return m_comboCom->currentIndex() + 1;
}

PortDevice SettingsDialog::selectedDevice() const
{
    const int number = selectedNumber();
    if (m_pendingLink && m_pendingLink->portNumber == number)
        return m_pendingLink->device;
    return m_app.portMap().port(number);
}

void SettingsDialog::showDevice()
{
    const int number = selectedNumber();
    m_cmdKeep->setText(number > 0 ? QStringLiteral("Keep this adapter as Com") + NumToText(number)
                                  : QStringLiteral("Keep this adapter"));
    m_deviceInfo->clear();
    // The button says why it cannot be pressed.
    const auto keep = [this](bool enabled, const QString &why) {
        m_cmdKeep->setEnabled(enabled);
        m_cmdKeep->setToolTip(why);
    };
    if (number < 1) {
        m_device->setText(QStringLiteral("(no port selected)"));
        return keep(false, QStringLiteral("Select a port first."));
    }
    const bool pending = m_pendingLink && m_pendingLink->portNumber == number;
    const PortDevice d = selectedDevice();
    if (d.device.isEmpty()) {
        m_device->setText(QStringLiteral("(no device)"));
        return keep(false, QStringLiteral("Com%1 opens no device.").arg(number));
    }
    if (d.network) {
        m_device->setText(d.device + QStringLiteral(" (network address)"));
        m_deviceInfo->setText(
            d.summary() + (pending ? QStringLiteral("\nSave writes it into ports/com%1").arg(number)
                                   : QString()));
        return keep(false, QStringLiteral("A network address is kept in ports/com%1 already; it "
                                          "needs no adapter.")
                               .arg(number));
    }
    m_device->setText(
        d.device + (d.present ? QStringLiteral(" (present)") : QStringLiteral(" (not present)")));
    if (!d.present)
        return keep(false,
                    QStringLiteral("%1 is not there now; plug the adapter in.").arg(d.device));

    QStringList info{d.summary()};
    if (!d.byIdName.isEmpty())
        info << QStringLiteral("by id: ") + d.byIdName;
    if (d.noPermission)
        info << PermissionHint;
    if (pending)
        info << QStringLiteral("Save links ports/com%1 to it").arg(number);
    m_deviceInfo->setText(info.join(QLatin1Char('\n')));

    if (d.byIdName.isEmpty())
        return keep(false, QStringLiteral("%1 has no name in %2, so it cannot be kept by adapter "
                                          "(USB adapters have one).")
                               .arg(d.systemPath, m_app.portSources.byIdFolder));
    // Nothing to keep when the link already leads to the adapter's by-id name.
    const QString link =
        m_app.globals.ProgramFolder + QStringLiteral("/ports/com") + NumToText(number);
    if (!pending && QFileInfo(link).symLinkTarget() == d.byIdName)
        return keep(false, QStringLiteral("Com%1 follows this adapter already.").arg(number));
    keep(true, QStringLiteral("Link Com%1 to %2, so the number follows the adapter to any socket.")
                   .arg(number)
                   .arg(d.byIdName));
}

void SettingsDialog::CmdFindConverter()
{
    if (m_finder)
        return;
    if (!m_app.BeginConverterSearch()) {
        m_findText->setText(BusyText);
        return;
    }
    m_finder = std::make_unique<ConverterFinder>(m_app);
    m_finder->start();
    m_cmdFind->setEnabled(false);
    m_cmdAddress->setEnabled(false);
    m_cmdSave->setEnabled(false);
    if (m_finder->isFinished()) {
        endSearch();
        return;
    }
    m_findText->setText(m_finder->progressText());
    m_searchTimer.start();
}

void SettingsDialog::searchTick()
{
    if (!m_finder)
        return;
    m_finder->tick();
    if (m_finder->isFinished())
        endSearch();
    else
        m_findText->setText(m_finder->progressText());
}

void SettingsDialog::endSearch()
{
    m_searchTimer.stop();
    m_app.EndConverterSearch();
    const std::optional<ConverterFinder::Found> found = m_finder->found();
    const QString result = m_finder->resultText();
    m_finder.reset();
    m_cmdFind->setEnabled(true);
    m_cmdAddress->setEnabled(true);
    m_cmdSave->setEnabled(isEditing());

    // The choice is the user's until Save, like any other change in the dialog.
    if (found && found->portNumber > 0) {
        if (!isEditing())
            CmdWijzigen();
        m_pendingLink.reset();
        if (found->needsLink)
            m_pendingLink = found;
        m_comboCom->setCurrentIndex(found->portNumber - 1);
    }
    showDevice();
    m_findText->setText(result);
}

void SettingsDialog::CmdKeepAdapter()
{
    const int number = selectedNumber();
    const PortDevice d = selectedDevice();
    if (number < 1 || d.byIdName.isEmpty())
        return;
    QString error;
    if (m_app.portMap().writeLink(number, d.byIdName, &error)) {
        m_findText->setText(
            QStringLiteral("Com%1 now follows the adapter %2").arg(number).arg(d.byIdName));
        if (m_pendingLink && m_pendingLink->portNumber == number)
            m_pendingLink.reset();
    } else {
        m_findText->setText(error);
    }
    showDevice();
}

void SettingsDialog::CmdNetworkAddress()
{
    const int number = selectedNumber();
    if (number < 1 || m_finder)
        return;
    const PortDevice current = selectedDevice();
    const std::optional<QString> answer = m_app.dialogs.textLine(
        QStringLiteral("Use a network address"),
        QStringLiteral("The serial device server Com%1 reaches:\ntcp://HOST:PORT (raw) or "
                       "rfc2217://HOST:PORT (Telnet, the line set by Kestrum)")
            .arg(number),
        current.network ? current.device : QString());
    if (!answer || answer->trimmed().isEmpty())
        return;
    QString error;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(answer->trimmed(), &error);
    if (!address) {
        m_findText->setText(error + QStringLiteral("; nothing changed"));
        return;
    }
    // Like a converter found on a device without a number: the user's until Save.
    if (!isEditing())
        CmdWijzigen();
    ConverterFinder::Found entry;
    entry.portNumber = number;
    entry.device = m_app.portMap().describe(address->text());
    entry.needsLink = true;
    m_pendingLink = entry;
    showDevice();
    m_findText->setText(
        QStringLiteral("Com%1 reaches %2 once you press Save").arg(number).arg(address->text()));
}
