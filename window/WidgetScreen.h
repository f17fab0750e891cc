#pragma once

#include "screen/ProgressText.h"
#include "screen/Screen.h"

#include <QColor>
#include <QString>
#include <array>
#include <map>
#include <utility>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QWidget;

// The screen over the main window's widgets. The window builds the widgets and
// registers them here; the logic reaches them only through the Screen interface.
//
// "In use" is a control's own visibility flag (QWidget::isHidden), which holds
// whether or not the tab page that carries the control is ever shown.
class WidgetScreen : public Screen
{
public:
    // Lamp colours: dark and bright.
    static const QColor TxDark;
    static const QColor TxBright;
    static const QColor RxDark;
    static const QColor RxBright;

    // Registration, while the window builds itself.
    void addCombo(int control, QComboBox *combo);
    // limit: the typing limit, 0 for none.
    void addBox(int control, QLineEdit *box, int limit);
    void addLegend(int item, QLabel *legend);
    void addButtonPair(int item, QPushButton *read, QPushButton *write);
    void setProgressWidgets(QPlainTextEdit *pane, QProgressBar *bar);
    void setPortFrame(QGroupBox *frame);
    void setLamps(QWidget *tx, QWidget *rx);
    void setMessageBoxes(const std::array<QLineEdit *, 25> &boxes);
    void setServiceWidgets(QWidget *frameAlgemeen, QWidget *framePaging,
                           QPushButton *saveAsDefault);
    void setTabs(QTabWidget *tab1, QTabWidget *tab2, QTabWidget *tab3);

    // Puts a text into a box whole, whatever its typing limit: the limit is raised to
    // the text's length, and lowered again as the user edits.
    static void setBoxText(QLineEdit *box, const QString &text, int limit);
    static void paintFill(QWidget *widget, const QColor &colour);

    bool inUse(int control) const override;
    void setInUse(int control, bool inUse) override;
    bool legendShown(int item) const override;
    QString legendText(int item) const override;
    QString valueText(int control) const override;
    void setValueText(int control, const QString &text) override;
    void clearChoices(int control) override;
    void appendChoice(int control, const QString &text) override;
    int choiceCount(int control) const override;
    QString choiceText(int control, int index) const override;
    int selectedIndex(int control) const override;
    bool setSelectedIndex(int control, int index) override;
    void clearSelectionHighlight(int control) override;
    ControlColour colour(int control) const override;
    void setColour(int control, ControlColour colour) override;
    quint64 contentGeneration() override { return m_generation; }
    bool buttonsInUse(int item) const override;
    void setButtonsInUse(int item, bool inUse) override;
    void appendProgress(const QString &text) override;
    QString progressText() const override;
    void clearProgress() override;
    void setProgressBar(bool visible, int value) override;
    bool progressBarVisible() const override;
    int progressBarValue() const override;
    void setPortCaption(const QString &caption) override;
    QString portCaption() const override;
    void setLamp(Lamp lamp, bool bright) override;
    void UpdateMessageWindow(const std::array<QString, 25> &lines) override;
    void setServiceView(bool on) override;
    void ArrangeTabs(qint16 debugLevel) override;

    // The text colour that marks a control equal to the converter's value, and the
    // one that marks it different.
    static QColor equalToUnitColour();
    static QColor differentFromUnitColour();

private:
    struct Box
    {
        QLineEdit *edit = nullptr;
        int limit = 0;
    };

    QWidget *valueWidget(int control) const;
    QComboBox *combo(int control) const;
    const Box *box(int control) const;

    std::map<int, QComboBox *> m_combos;
    std::map<int, Box> m_boxes;
    std::map<int, QLabel *> m_legends;
    std::map<int, std::pair<QPushButton *, QPushButton *>> m_buttons;
    std::map<int, ControlColour> m_colours;

    QPlainTextEdit *m_progressPane = nullptr;
    // The pane's text as written, line ends included; the widget shows it.
    ProgressText m_progress;
    quint64 m_generation = 0;
    QProgressBar *m_progressBar = nullptr;
    QGroupBox *m_portFrame = nullptr;
    QWidget *m_txLamp = nullptr;
    QWidget *m_rxLamp = nullptr;
    std::array<QLineEdit *, 25> m_messageBoxes{};
    QWidget *m_frameAlgemeen = nullptr;
    QWidget *m_framePaging = nullptr;
    QPushButton *m_saveAsDefault = nullptr;
    QTabWidget *m_tab1 = nullptr;
    QTabWidget *m_tab2 = nullptr;
    QTabWidget *m_tab3 = nullptr;
};
