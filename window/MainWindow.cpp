#include "window/MainWindow.h"

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "base/Maker.h"
#include "screen/Catalogue.h"
#include "screen/OfferedPages.h"
#include "screen/ProgressText.h"
#include "window/ReportCommands.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <tuple>

namespace {

QString indexed(const QString &name, int index)
{
    return name + QLatin1Char('_') + QString::number(index);
}

// The object name of an item's value control and of its legend.
QString valueName(int item)
{
    if (item <= 78)
        return indexed(QStringLiteral("ComboInstellingen"), item);
    if (item <= 143)
        return indexed(QStringLiteral("TxtIntInput"), item - 100);
    return indexed(QStringLiteral("TxtTekstInput"), item - 150);
}

QString legendName(int item)
{
    if (item <= 78)
        return indexed(QStringLiteral("TxtLegendaCharInput"), item);
    if (item <= 143)
        return indexed(QStringLiteral("TxtLegendaIntInput"), item - 100);
    return indexed(QStringLiteral("TxtLegendaTekstInput"), item - 150);
}

// A drop-down list with an edit field whose entries come only from the catalogue:
// no completion, and typed text never becomes an entry.
QComboBox *makeChoiceList(const QString &name, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setCompleter(nullptr);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(16);
    return combo;
}

QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent = nullptr)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // Room beside the caption: the style's own margin leaves long captions cramped.
    button->setMinimumWidth(button->sizeHint().width() + 16);
    return button;
}

QGroupBox *makeFrame(const QString &name, const QString &caption)
{
    auto *frame = new QGroupBox(caption);
    frame->setObjectName(name);
    return frame;
}

// A frame without caption, drawn as a sunken panel.
QFrame *makePlainFrame(const QString &name)
{
    auto *frame = new QFrame;
    frame->setObjectName(name);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

QWidget *makeLamp(const QString &name, const QColor &colour)
{
    auto *lamp = new QFrame;
    lamp->setObjectName(name);
    lamp->setFrameShape(QFrame::Box);
    lamp->setFixedSize(22, 12);
    WidgetScreen::paintFill(lamp, colour);
    return lamp;
}

// The read-only legend that names a control.
QLabel *makeLegend(const QString &name, const QString &text)
{
    auto *legend = new QLabel(text);
    legend->setObjectName(name);
    legend->setFocusPolicy(Qt::NoFocus);
    return legend;
}

// A page whose contents start at the top left.
QWidget *makePage(QLayout *layout)
{
    auto *page = new QWidget;
    page->setLayout(layout);
    return page;
}

const QString MessageQuit = QStringLiteral("Do you want to quit the program?");

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmHoofdscherm"));
    setWindowTitle(MainWindowCaption);

    auto *setup = menuBar()->addAction(QStringLiteral("Setup"));
    setup->setObjectName(QStringLiteral("Setup"));
    connect(setup, &QAction::triggered, this, &MainWindow::setupRequested);
    auto *quit = menuBar()->addAction(QStringLiteral("Quit"));
    quit->setObjectName(QStringLiteral("Quit"));
    connect(quit, &QAction::triggered, this, &MainWindow::Quit);
    auto *about = menuBar()->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("About"));
    connect(about, &QAction::triggered, this, &MainWindow::aboutRequested);

    createSettingControls();

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(buildTopStrip());

    m_tab1 = new QTabWidget;
    m_tab1->setObjectName(QStringLiteral("SSTab1"));
    m_tab1->addTab(buildStatusPage(), QStringLiteral("Status"));
    m_tab1->addTab(buildSetupPage(), QStringLiteral("Setup"));
    m_tab1->addTab(buildFilePage(), QStringLiteral("File"));
    m_tab1->addTab(buildUnitPage(), QStringLiteral("Unit"));
    m_tab1->addTab(buildServicePage(), QStringLiteral("Service"));
    layout->addWidget(m_tab1, 1);
    setCentralWidget(central);
    m_screen.setTabs(m_tab1, m_tab2, m_tab3);
    auto *frameAlgemeen = findChild<QWidget *>(QStringLiteral("FrameCmdButtonsAlgemeen"));
    auto *framePaging = findChild<QWidget *>(QStringLiteral("FrameCmdButtonsPaging"));
    QPushButton *saveAsDefault = m_buttons.at(QStringLiteral("CmdInstellingenOpslaan"));
    m_screen.setServiceWidgets(frameAlgemeen, framePaging, saveAsDefault);

    // Creation state, set once every control sits in its page: the value controls
    // in use except TEKST item 150, legends as the catalogue says, per-item pairs
    // 0..40 in use, the rest and the TEKST pair not.
    for (const auto &[item, control] : m_valueControls)
        control->setVisible(item != 150);
    for (const auto &[item, legend] : m_legends) {
        const CatalogueItem *entry = CatalogueEntry(item);
        legend->setVisible(entry && entry->legendShown);
    }
    for (int item = 0; item <= 65; ++item)
        m_screen.setButtonsInUse(item, item <= 40);
    m_screen.setButtonsInUse(150, false);
    m_screen.setProgressBar(false, 0);
    // Until the service view is applied at the end of start-up.
    frameAlgemeen->setVisible(false);
    framePaging->setVisible(true);
    saveAsDefault->setEnabled(true);

    auto makeTimer = [this](const QString &name, int interval) {
        auto *timer = new QTimer(this);
        timer->setObjectName(name);
        timer->setInterval(interval);
        return timer;
    };
    m_tmrAfhandel = makeTimer(QStringLiteral("TmrAfhandel"), 25);
    // The engine counts time in ticks; a coarse timer would stretch every time-out.
    m_tmrAfhandel->setTimerType(Qt::PreciseTimer);
    m_tmrUpdateVensters = makeTimer(QStringLiteral("TmrUpdateVensters"), 100);
    m_ledTimer = makeTimer(QStringLiteral("LedTimer"), 250);
    m_timerStartRefresh = makeTimer(QStringLiteral("TimerStartRefresh"), 300);
    m_timerStartRefresh->setSingleShot(true);
}

MainWindow::~MainWindow()
{
    detach();
}

void MainWindow::createSettingControls()
{
    for (const CatalogueItem &entry : Catalogue()) {
        const int item = entry.item;
        QWidget *control;
        if (item <= 78) {
            QComboBox *combo = makeChoiceList(valueName(item), this);
            m_screen.addCombo(item, combo);
            control = combo;
        } else {
            auto *box = new QLineEdit(this);
            box->setObjectName(valueName(item));
            m_screen.addBox(item, box, entry.lengthLimit);
            control = box;
        }
        m_valueControls[item] = control;

        QLabel *legend = makeLegend(legendName(item), entry.legend);
        legend->setParent(this);
        m_legends[item] = legend;
        m_screen.addLegend(item, legend);
    }

    for (int item = 0; item <= 65; ++item) {
        const bool dutch = ButtonsAreDutch(item);
        QPushButton *read =
            makeButton(indexed(QStringLiteral("CmdReadSingleSetting"), item),
                       dutch ? QStringLiteral("Lezen") : QStringLiteral("Read"), this);
        QPushButton *write =
            makeButton(indexed(QStringLiteral("CmdWriteSingleSetting"), item),
                       dutch ? QStringLiteral("Schrijven") : QStringLiteral("PROGRAM"), this);
        m_buttons[read->objectName()] = read;
        m_buttons[write->objectName()] = write;
        m_screen.addButtonPair(item, read, write);
    }
    QPushButton *readTekst =
        makeButton(QStringLiteral("CmdReadSingleTekstSetting_0"), QStringLiteral("Lezen"), this);
    QPushButton *writeTekst = makeButton(QStringLiteral("CmdWriteSingleTekstSetting_0"),
                                         QStringLiteral("Schrijven"), this);
    m_buttons[readTekst->objectName()] = readTekst;
    m_buttons[writeTekst->objectName()] = writeTekst;
    m_screen.addButtonPair(150, readTekst, writeTekst);
}

QWidget *MainWindow::takeValueControl(int item)
{
    return m_valueControls.at(item);
}

QLabel *MainWindow::takeLegend(int item)
{
    return m_legends.at(item);
}

QPushButton *MainWindow::takeButton(const QString &name, int index)
{
    return m_buttons.at(indexed(name, index));
}

void MainWindow::addButtonPairs(QGridLayout *grid, int row, int column, const QList<int> &items)
{
    for (int item : items) {
        if (item == 150) {
            grid->addWidget(m_buttons.at(QStringLiteral("CmdReadSingleTekstSetting_0")), row,
                            column);
            grid->addWidget(m_buttons.at(QStringLiteral("CmdWriteSingleTekstSetting_0")), row,
                            column + 1);
        } else {
            grid->addWidget(takeButton(QStringLiteral("CmdReadSingleSetting"), item), row, column);
            grid->addWidget(takeButton(QStringLiteral("CmdWriteSingleSetting"), item), row,
                            column + 1);
        }
        ++row;
    }
}

QWidget *MainWindow::buildTopStrip()
{
    auto *frame =
        makeFrame(QStringLiteral("FrmCommunicatie"), QStringLiteral("Serial port: XXXX "));
    m_screen.setPortFrame(frame);
    auto *row = new QHBoxLayout(frame);

    QWidget *tx = makeLamp(QStringLiteral("ShpTx"), WidgetScreen::TxDark);
    QWidget *rx = makeLamp(QStringLiteral("ShpRx"), WidgetScreen::RxDark);
    m_screen.setLamps(tx, rx);
    row->addWidget(tx);
    row->addWidget(makeLegend(QStringLiteral("Label4_1"), QStringLiteral("TxD")));
    row->addSpacing(12);
    row->addWidget(rx);
    row->addWidget(makeLegend(QStringLiteral("Label4_2"), QStringLiteral("RxD")));
    row->addStretch(1);

    // Test controls of the port, never shown.
    const std::pair<const char *, const char *> tests[] = {
        {"Command1", "SluitCom"}, {"Command2", "TestButton"}, {"Command3", "TestCom"}};
    for (const auto &[name, caption] : tests) {
        QPushButton *button = makeButton(QLatin1String(name), QLatin1String(caption));
        m_buttons[button->objectName()] = button;
        row->addWidget(button);
        button->setVisible(false);
    }
    m_shpTestCom = makeLamp(QStringLiteral("ShpTestCom"), WidgetScreen::TxBright);
    row->addWidget(m_shpTestCom);
    m_shpTestCom->setVisible(false);
    return frame;
}

QWidget *MainWindow::buildStatusPage()
{
    auto *layout = new QVBoxLayout;
    layout->setSpacing(0);
    std::array<QLineEdit *, 25> boxes{};
    for (int i = 0; i < 25; ++i) {
        auto *box = new QLineEdit;
        box->setObjectName(indexed(QStringLiteral("Text2"), i));
        box->setFrame(false);
        // Not locked, but out of the Tab order: the window rewrites these lines.
        box->setFocusPolicy(Qt::ClickFocus);
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        box->setPalette(palette);
        boxes[size_t(i)] = box;
        layout->addWidget(box);
    }
    layout->addStretch(1);
    m_screen.setMessageBoxes(boxes);
    return makePage(layout);
}

QWidget *MainWindow::buildSetupPage()
{
    m_tab2 = new QTabWidget;
    m_tab2->setObjectName(QStringLiteral("SSTab2"));
    // The offered pages come from the table the configuration report follows too.
    for (const OfferedPage &page : OfferedPages()) {
        m_tab2->addTab(page.frameName.isEmpty()
                           ? buildGeneralPage()
                           : buildFramePage(page.frameName, page.frameCaption, page.items),
                       page.caption);
    }
    m_tab2->addTab(buildUnusedIntPage(), QStringLiteral("Niet gebruikte INT"));
    m_tab2->addTab(buildUnusedTekstPage(), QStringLiteral("Niet gebruikte TEKST"));
    m_tab2->addTab(buildButtonCharPage(), QStringLiteral("Button CHAR"));
    m_tab2->addTab(buildButtonIntPage(), QStringLiteral("Button INT"));
    m_tab2->addTab(buildButtonTekstPage(), QStringLiteral("Button TEKST"));
    m_tab2->addTab(buildTab9Page(), QStringLiteral("Tab 9"));
    // The pages never offered take no part in the window's size.
    for (int page = 4; page < m_tab2->count(); ++page)
        m_tab2->widget(page)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

    auto *layout = new QVBoxLayout;
    layout->addWidget(m_tab2);
    return makePage(layout);
}

QWidget *MainWindow::buildGeneralPage()
{
    auto *grid = new QGridLayout;
    grid->addWidget(takeLegend(0), 0, 0);
    grid->addWidget(takeValueControl(0), 0, 1);
    addButtonPairs(grid, 0, 2, {0});

    // Service mode: single-item read and write of a few more items.
    QFrame *service = makePlainFrame(QStringLiteral("FrameCmdButtonsAlgemeen"));
    auto *pairs = new QGridLayout(service);
    addButtonPairs(pairs, 0, 0, {150, 25, 30, 31});
    grid->addWidget(service, 1, 2, 1, 2);

    // The row keeps its natural width; the page's spare room stays on the right.
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(2, 1);
    return makePage(grid);
}

QWidget *MainWindow::buildFramePage(const QString &frameName, const QString &caption,
                                    const QList<int> &items)
{
    QGroupBox *frame = makeFrame(frameName, caption);
    auto *grid = new QGridLayout(frame);
    int row = 0;
    for (int item : items) {
        grid->addWidget(takeLegend(item), row, 0);
        grid->addWidget(takeValueControl(item), row, 1);
        ++row;
    }

    // The frame as wide as its longest list needs, at the top left of the page.
    auto *across = new QHBoxLayout;
    across->addWidget(frame);
    across->addStretch(1);
    auto *layout = new QVBoxLayout;
    layout->addLayout(across);
    layout->addStretch(1);
    return makePage(layout);
}

// The pages below are never offered; they keep the controls of the items that are
// in use but not shown, so those hold and return values like every other control.

QWidget *MainWindow::buildUnusedIntPage()
{
    auto *grid = new QGridLayout;
    for (int item = 100; item <= 104; ++item) {
        grid->addWidget(takeLegend(item), item - 100, 0);
        grid->addWidget(takeValueControl(item), item - 100, 1);
    }
    for (int item = 106; item <= 143; ++item)
        grid->addWidget(takeLegend(item), (item - 106) % 13, 2 + (item - 106) / 13);
    return makePage(grid);
}

QWidget *MainWindow::buildUnusedTekstPage()
{
    auto *grid = new QGridLayout;
    for (int item = 151; item <= 154; ++item) {
        grid->addWidget(takeLegend(item), item - 151, 0);
        grid->addWidget(takeValueControl(item), item - 151, 1);
    }
    for (int item = 156; item <= 193; ++item)
        grid->addWidget(takeLegend(item), (item - 156) % 13, 2 + (item - 156) / 13);
    return makePage(grid);
}

QWidget *MainWindow::buildButtonCharPage()
{
    auto *grid = new QGridLayout;
    for (int item = 41; item <= 78; ++item)
        grid->addWidget(takeLegend(item), (item - 41) % 13, (item - 41) / 13);
    QList<int> pairs = {5, 7, 15, 17, 18, 19, 32, 33, 34};
    for (int item = 40; item <= 65; ++item)
        pairs.append(item);
    for (qsizetype i = 0; i < pairs.size(); ++i)
        addButtonPairs(grid, int(i % 13), 3 + 2 * int(i / 13), {pairs.at(i)});
    return makePage(grid);
}

QWidget *MainWindow::buildButtonIntPage()
{
    auto *grid = new QGridLayout;
    const QList<int> unused = {1, 2, 3, 4, 6, 8, 9, 28, 29, 38, 39, 150};
    for (qsizetype i = 0; i < unused.size(); ++i) {
        grid->addWidget(takeLegend(unused.at(i)), int(i), 0);
        grid->addWidget(takeValueControl(unused.at(i)), int(i), 1);
    }
    QList<int> pairs = {1, 2, 3, 4, 6, 8, 9, 16};
    for (int item : {20, 21, 22, 23, 24, 26, 27, 28, 29, 35, 36, 37, 38, 39})
        pairs.append(item);
    for (qsizetype i = 0; i < pairs.size(); ++i)
        addButtonPairs(grid, int(i % 13), 2 + 2 * int(i / 13), {pairs.at(i)});
    return makePage(grid);
}

QWidget *MainWindow::buildButtonTekstPage()
{
    auto *grid = new QGridLayout;
    for (int item : {18, 19}) {
        grid->addWidget(takeLegend(item), item - 18, 0);
        grid->addWidget(takeValueControl(item), item - 18, 1);
    }
    for (int item = 195; item <= 232; ++item)
        grid->addWidget(takeLegend(item), (item - 195) % 13, 2 + (item - 195) / 13);
    return makePage(grid);
}

QWidget *MainWindow::buildTab9Page()
{
    // Column headings of the button table: the legends of entry 1.
    auto *headings = new QHBoxLayout;
    for (int item : {105, 155, 40, 194})
        headings->addWidget(takeLegend(item));

    m_tab3 = new QTabWidget;
    m_tab3->setObjectName(QStringLiteral("SSTab3"));
    m_tab3->addTab(buildButtonTablePage(27), QStringLiteral("27 t/m 39"));
    m_tab3->addTab(buildButtonTablePage(14), QStringLiteral("14 t/m 26"));
    m_tab3->addTab(buildButtonTablePage(1), QStringLiteral("1 t/m 13"));

    auto *layout = new QVBoxLayout;
    layout->addLayout(headings);
    layout->addWidget(m_tab3);
    return makePage(layout);
}

QWidget *MainWindow::buildButtonTablePage(int firstEntry)
{
    // One row per entry n: event number, pager address, bleep code, prefix text.
    auto *grid = new QGridLayout;
    for (int n = firstEntry; n < firstEntry + 13; ++n) {
        const int row = n - firstEntry;
        grid->addWidget(takeValueControl(104 + n), row, 0);
        grid->addWidget(takeValueControl(154 + n), row, 1);
        grid->addWidget(takeValueControl(39 + n), row, 2);
        grid->addWidget(takeValueControl(193 + n), row, 3);
    }
    if (firstEntry == 1) {
        QFrame *service = makePlainFrame(QStringLiteral("FrameCmdButtonsPaging"));
        auto *pairs = new QGridLayout(service);
        addButtonPairs(pairs, 0, 0, {10, 11, 12, 13, 14});
        grid->addWidget(service, 0, 4, 13, 1, Qt::AlignTop);
    }
    return makePage(grid);
}

QWidget *MainWindow::buildFilePage()
{
    QGroupBox *unit = makeFrame(QStringLiteral("Frame2"), QStringLiteral("Unit settings: "));
    auto *unitRow = new QHBoxLayout(unit);
    for (const auto &[name, caption] :
         {std::pair{"CmdInstellingenOpslaan", "Save as default"},
          std::pair{"CmdInstellingenLezen", "Read default from file"}}) {
        QPushButton *button = makeButton(QLatin1String(name), QLatin1String(caption));
        m_buttons[button->objectName()] = button;
        unitRow->addWidget(button);
    }

    QGroupBox *all = makeFrame(QStringLiteral("Frame1"), QStringLiteral("All settings: "));
    auto *allRow = new QHBoxLayout(all);
    for (const auto &[name, caption] : {std::pair{"CmdOpslaanUnitGegevens", "Save to file"},
                                        std::pair{"CmdLezenUnitgegevens", "Read from file"},
                                        std::pair{"CmdHistory", "History..."}}) {
        QPushButton *button = makeButton(QLatin1String(name), QLatin1String(caption));
        m_buttons[button->objectName()] = button;
        allRow->addWidget(button);
    }

    QGroupBox *report = makeFrame(QStringLiteral("FrameReport"), QStringLiteral("Report: "));
    auto *reportRow = new QHBoxLayout(report);
    for (const auto &[name, caption] : {std::pair{"CmdExportReport", "Export report..."},
                                        std::pair{"CmdPrintReport", "Print report..."}}) {
        QPushButton *button = makeButton(QLatin1String(name), QLatin1String(caption));
        m_buttons[button->objectName()] = button;
        reportRow->addWidget(button);
    }

    auto *row = new QHBoxLayout;
    row->addWidget(unit);
    row->addWidget(all);
    row->addWidget(report);
    row->addStretch(1);
    auto *layout = new QVBoxLayout;
    layout->addLayout(row);
    layout->addStretch(1);
    return makePage(layout);
}

QWidget *MainWindow::buildUnitPage()
{
    auto *pane = new QPlainTextEdit;
    pane->setObjectName(QStringLiteral("TxtProgress"));
    pane->setReadOnly(true);
    pane->setMaximumBlockCount(ProgressText::MaxLines);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = pane->palette();
    palette.setColor(QPalette::Text, Qt::blue);
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    pane->setPalette(palette);

    auto *bar = new QProgressBar;
    bar->setObjectName(QStringLiteral("ProgressBarProgrammeren"));
    bar->setRange(0, 40);
    bar->setTextVisible(false);
    m_screen.setProgressWidgets(pane, bar);

    auto *buttons = new QGridLayout;
    const std::tuple<const char *, const char *, int, int> placed[] = {
        {"CmdWisLogVenster", "Clear log", 0, 0},
        {"CmdLeesAlles", "Read all settings from unit", 0, 3},
        {"CmdCancelReadWrite", "Cancel", 1, 0},
        {"CmdWriteChanged", "Write changed settings to unit", 1, 2},
        {"CmdSchrijfAlles", "Write all settings to unit", 1, 3}};
    for (const auto &[name, caption, row, column] : placed) {
        QPushButton *button = makeButton(QLatin1String(name), QLatin1String(caption));
        m_buttons[button->objectName()] = button;
        buttons->addWidget(button, row, column);
    }
    buttons->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout;
    layout->addWidget(pane, 1);
    layout->addWidget(bar);
    layout->addLayout(buttons);
    return makePage(layout);
}

QWidget *MainWindow::buildServicePage()
{
    QGroupBox *call =
        makeFrame(QStringLiteral("FramePagerOproepen"), QStringLiteral("Send call to ESPA out: "));
    auto *grid = new QGridLayout(call);
    const char *legends[] = {"Address:", "Bleepcode:", "Message:"};
    for (int i = 0; i < 3; ++i)
        grid->addWidget(makeLegend(indexed(QStringLiteral("TxtLegendaTestOproepAdres"), i),
                                   QLatin1String(legends[i])),
                        i, 0);

    m_txtTestPagerAdres = new QLineEdit;
    m_txtTestPagerAdres->setObjectName(QStringLiteral("TxtTestPagerAdres"));
    m_screen.addBox(CTRL_TEST_ADDRESS, m_txtTestPagerAdres, 10);
    QComboBox *bleep = makeChoiceList(QStringLiteral("ComboTestBleepCode"), nullptr);
    m_screen.addCombo(CTRL_TEST_BLEEP, bleep);
    m_txtTestPagerDisplayInfo = new QLineEdit;
    m_txtTestPagerDisplayInfo->setObjectName(QStringLiteral("TxtTestPagerDisplayInfo"));
    m_screen.addBox(CTRL_TEST_MESSAGE, m_txtTestPagerDisplayInfo, 40);
    // Double-clicking either box empties it.
    m_txtTestPagerAdres->installEventFilter(this);
    m_txtTestPagerDisplayInfo->installEventFilter(this);

    grid->addWidget(m_txtTestPagerAdres, 0, 1);
    grid->addWidget(bleep, 1, 1);
    grid->addWidget(m_txtTestPagerDisplayInfo, 2, 1);
    QPushButton *callButton =
        makeButton(QStringLiteral("CmdTestOproepPager"), QStringLiteral("Call"));
    m_buttons[callButton->objectName()] = callButton;
    grid->addWidget(callButton, 0, 2, 3, 1, Qt::AlignVCenter);
    // Room for the whole message without scrolling.
    m_txtTestPagerDisplayInfo->setMinimumWidth(
        m_txtTestPagerDisplayInfo->fontMetrics().horizontalAdvance(QString(42, QLatin1Char('M'))) *
        3 / 4);

    QGroupBox *restart = makeFrame(QStringLiteral("FrameHerstartConverter"),
                                   QStringLiteral("Restart the converter: "));
    auto *restartRow = new QHBoxLayout(restart);
    QPushButton *restartButton =
        makeButton(QStringLiteral("CmdTestHerstart"), QStringLiteral("Restart"));
    m_buttons[restartButton->objectName()] = restartButton;
    restartRow->addWidget(restartButton);
    restartRow->addStretch(1);

    QGroupBox *reopen = makeFrame(QStringLiteral("FrameOpnieuwOpenenComPoort"),
                                  QStringLiteral("Re-open ComPort: "));
    auto *reopenRow = new QHBoxLayout(reopen);
    QPushButton *reopenButton =
        makeButton(QStringLiteral("CmdReOpenCom"), QStringLiteral("Open ComPort"));
    m_buttons[reopenButton->objectName()] = reopenButton;
    reopenRow->addWidget(reopenButton);
    reopenRow->addStretch(1);

    // The three frames one under the other, as wide as the call frame needs.
    auto *frames = new QVBoxLayout;
    frames->addWidget(call);
    frames->addWidget(restart);
    frames->addWidget(reopen);
    auto *across = new QHBoxLayout;
    across->addLayout(frames);
    across->addStretch(1);
    auto *layout = new QVBoxLayout;
    layout->addLayout(across);
    layout->addStretch(1);
    return makePage(layout);
}

void MainWindow::attach(Kestrum &app, Commands &commands)
{
    m_app = &app;
    m_commands = &commands;
    Commands *c = &commands;

    auto onClick = [this](const QString &name, auto handler) {
        connect(m_buttons.at(name), &QPushButton::clicked, this, handler);
    };
    onClick(QStringLiteral("CmdInstellingenOpslaan"), [c] { c->CmdInstellingenOpslaan(); });
    onClick(QStringLiteral("CmdInstellingenLezen"), [c] { c->CmdInstellingenLezen(); });
    onClick(QStringLiteral("CmdOpslaanUnitGegevens"), [c] { c->CmdOpslaanUnitGegevens(); });
    onClick(QStringLiteral("CmdLezenUnitgegevens"), [c] { c->CmdLezenUnitgegevens(); });
    onClick(QStringLiteral("CmdHistory"), [c] { c->CmdHistory(); });
    m_reports = std::make_unique<ReportCommands>(app, commands);
    ReportCommands *r = m_reports.get();
    onClick(QStringLiteral("CmdExportReport"), [r] { r->CmdExportReport(); });
    onClick(QStringLiteral("CmdPrintReport"), [r] { r->CmdPrintReport(); });
    onClick(QStringLiteral("CmdWisLogVenster"), [c] { c->CmdWisLogVenster(); });
    onClick(QStringLiteral("CmdLeesAlles"), [c] { c->CmdLeesAlles(); });
    onClick(QStringLiteral("CmdCancelReadWrite"), [c] { c->CmdCancelReadWrite(); });
    onClick(QStringLiteral("CmdSchrijfAlles"), [c] { c->CmdSchrijfAlles(); });
    onClick(QStringLiteral("CmdWriteChanged"), [c] { c->CmdWriteChanged(); });
    onClick(QStringLiteral("CmdTestOproepPager"), [c] { c->CmdTestOproepPager(); });
    onClick(QStringLiteral("CmdTestHerstart"), [c] { c->CmdTestHerstart(); });
    onClick(QStringLiteral("CmdReOpenCom"), [c] { c->CmdReOpenCom(); });
    onClick(QStringLiteral("Command1"), [c] { c->Command1(); });
    onClick(QStringLiteral("Command2"), [c] { c->Command2(); });
    onClick(QStringLiteral("Command3"), [this, c] {
        WidgetScreen::paintFill(m_shpTestCom,
                                c->Command3() ? WidgetScreen::RxBright : WidgetScreen::TxBright);
    });
    for (int item = 0; item <= 65; ++item) {
        onClick(indexed(QStringLiteral("CmdReadSingleSetting"), item),
                [c, item] { c->CmdReadSingleSetting(item); });
        onClick(indexed(QStringLiteral("CmdWriteSingleSetting"), item),
                [c, item] { c->CmdWriteSingleSetting(item); });
    }
    onClick(QStringLiteral("CmdReadSingleTekstSetting_0"),
            [c] { c->CmdReadSingleTekstSetting(0); });
    onClick(QStringLiteral("CmdWriteSingleTekstSetting_0"),
            [c] { c->CmdWriteSingleTekstSetting(0); });

    for (QTabWidget *tabs : {m_tab1, m_tab2, m_tab3})
        connect(tabs, &QTabWidget::tabBarClicked, this, [c] { c->TabClicked(); });

    connect(m_tmrAfhandel, &QTimer::timeout, this, &MainWindow::engineTick);
    connect(m_tmrUpdateVensters, &QTimer::timeout, this,
            [this] { m_app->TmrUpdateVenstersTick(); });
    // The application object may outlive the window or die before it: the hook asks
    // whether the window is still there and never reaches back into a gone object.
    m_app->onWork = [window = QPointer<MainWindow>(this)] {
        if (window)
            window->wakeEngine();
    };
    // Work can come by any event, not only by a command or a received byte (a port
    // opened by the settings dialog, a job set by other code). Whatever an event did
    // is looked at before the program waits for the next one, and as it wakes.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance()) {
        m_dispatcherConnections = {
            connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                    &MainWindow::wakeEngine),
            connect(dispatcher, &QAbstractEventDispatcher::awake, this, &MainWindow::wakeEngine)};
    }
    connect(m_ledTimer, &QTimer::timeout, this, [this] { m_app->LedTimerTick(); });
    connect(m_timerStartRefresh, &QTimer::timeout, this, [this] {
        m_timerStartRefresh->stop();
        m_app->TimerStartRefreshTick();
    });
    m_timersStopped = false;
    for (QTimer *timer : {m_tmrAfhandel, m_tmrUpdateVensters, m_ledTimer, m_timerStartRefresh})
        timer->start();
}

void MainWindow::detach()
{
    stopTimers();
    if (m_app) {
        for (QTimer *timer : {m_tmrAfhandel, m_tmrUpdateVensters, m_ledTimer, m_timerStartRefresh})
            timer->disconnect(this);
    }
    for (const QMetaObject::Connection &connection : m_dispatcherConnections)
        disconnect(connection);
    m_dispatcherConnections.clear();
}

void MainWindow::stopTimers()
{
    m_timersStopped = true;
    for (QTimer *timer : {m_tmrAfhandel, m_tmrUpdateVensters, m_ledTimer, m_timerStartRefresh}) {
        if (timer)
            timer->stop();
    }
}

void MainWindow::engineTick()
{
    // A message box opened inside an engine step runs a nested event loop in which
    // this timer keeps firing; no step may start inside another.
    if (m_inEngineTick || !m_app)
        return;
    m_inEngineTick = true;
    const int nextTickMs = m_app->EngineTimerTick();
    m_inEngineTick = false;
    if (m_timersStopped)
        return;
    // With nothing to do the timer sleeps, so an idle program does not wake forty
    // times a second; the first tick after a wake-up came early to keep the pace.
    if (nextTickMs == 0)
        m_tmrAfhandel->stop();
    else if (m_tmrAfhandel->interval() != nextTickMs)
        m_tmrAfhandel->start(nextTickMs);
}

void MainWindow::wakeEngine()
{
    if (m_timersStopped || !m_app || m_inEngineTick || m_tmrAfhandel->isActive())
        return;
    if (const int nextTickMs = m_app->EngineTimerWake())
        m_tmrAfhandel->start(nextTickMs);
}

void MainWindow::closePortOnce()
{
    if (m_portClosed || !m_app)
        return;
    m_portClosed = true;
    m_app->datacom.CloseComPort();
}

void MainWindow::Quit()
{
    if (!m_app)
        return;
    if (!m_app->dialogs.question(TitleWithAddress, MessageQuit))
        return;
    stopTimers();
    closePortOnce();
    close();
}

void MainWindow::showEvent(QShowEvent *event)
{
    // Sized when first shown: only then are the pages that are never offered out of
    // the tab control's size. Wide enough for a whole message line.
    if (!m_sized) {
        m_sized = true;
        resize(qMax(sizeHint().width(), 860), sizeHint().height());
    }
    QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    stopTimers();
    closePortOnce();
    event->accept();
    Q_EMIT closed();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick && m_commands) {
        if (watched == m_txtTestPagerAdres) {
            m_commands->TxtTestPagerAdresDoubleClick();
            return true;
        }
        if (watched == m_txtTestPagerDisplayInfo) {
            m_commands->TxtTestPagerDisplayInfoDoubleClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
