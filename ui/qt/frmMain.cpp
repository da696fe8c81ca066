#include "ui/qt/frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstddef>
#include <string>

#include "engine/captions.h"
#include "engine/engine.h"
#include "ui/qt/frmAbout.h"
#include "ui/qt/frmFailureLog.h"
#include "ui/qt/frmPreferences.h"
#include "ui/qt/frmSystemSettings.h"

// Resources of the static library are registered by hand, outside any namespace.
static void InitSkyfaultResources() {
    Q_INIT_RESOURCE(skyfault);
}

namespace skyfault::ui {

namespace caption = engine::caption;

namespace {

const char* const kStyle = R"(
QGroupBox { border: 1px solid rgb(150, 150, 150); border-radius: 3px; margin-top: 1.1em; padding: 6px 4px 4px 4px; }
QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; padding: 0 3px; }
QGroupBox#Frame1 { margin-top: 0; padding: 2px; }
QCheckBox { background-color: white; }
)";

// Where each system frame stands in the Current Settings' grid, in
// kSystemFrames' order: its object name, row, column and spans.
struct FramePlace {
    const char* name;
    int row;
    int column;
    int rowSpan;
    int columnSpan;
};
constexpr std::array<FramePlace, kSystemFrames.size()> kFramePlaces{{
    {"fraInstruments", 0, 0, 2, 1},
    {"fraEngines", 0, 1, 1, 1},
    {"fraSystems", 0, 2, 1, 1},
    {"fraRadios", 1, 1, 1, 1},
    {"fraFuelLeak", 1, 2, 1, 1},
    {"fraMisc", 2, 0, 1, 3},
}};

QString Css(Rgb colour) {
    return QStringLiteral("rgb(%1, %2, %3)").arg(colour.red).arg(colour.green).arg(colour.blue);
}

// The fixed style, and the colours of the Current Settings and of each
// system frame.
QString Style() {
    QString style = QString::fromUtf8(kStyle);
    style += QStringLiteral("QGroupBox#fraCurrentSettings { background-color: %1; }\n")
                 .arg(Css(kCurrentSettingsColour));
    for (std::size_t i = 0; i < kSystemFrames.size(); ++i) {
        const QString name = QString::fromUtf8(kFramePlaces[i].name);
        style += QStringLiteral("QGroupBox#%1::title { color: %2; }\n")
                     .arg(name, Css(kSystemFrames[i].captionColour));
        if (kSystemFrames[i].white) {
            style += QStringLiteral("QGroupBox#%1 { background-color: white; }\n").arg(name);
        }
    }
    return style;
}

QFont Bold(QFont font) {
    font.setBold(true);
    return font;
}

QGroupBox* Frame(const char* name, const char* caption) {
    auto* box = new QGroupBox(QString::fromUtf8(caption));
    box->setObjectName(QString::fromUtf8(name));
    return box;
}

QLabel* Label(const char* name, const char* caption) {
    auto* label = new QLabel(QString::fromUtf8(caption));
    label->setObjectName(QString::fromUtf8(name));
    return label;
}

QPushButton* Button(const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromUtf8(caption));
    button->setObjectName(QString::fromUtf8(name));
    return button;
}

}  // namespace

QFont CaptionFont() {
    static const QString family = [] {
        const QString wanted = QString::fromUtf8(caption::kTypeface);
        if (QFontDatabase::families().contains(wanted, Qt::CaseInsensitive)) {
            return wanted;
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    QFont font(family);
    font.setPointSize(caption::kPoints);
    return font;
}

void ShowCheckValue(QCheckBox* box, int value) {
    const engine::CheckState state = engine::CheckStateOf(value);
    box->setTristate(state == engine::CheckState::Greyed);
    box->setCheckState(state == engine::CheckState::Unchecked ? Qt::Unchecked
                       : state == engine::CheckState::Greyed  ? Qt::PartiallyChecked
                                                              : Qt::Checked);
}

frmMain::frmMain(engine::Engine& engine, FileDialog& fileDialog, QWidget* parent)
    : QMainWindow(parent), engine_(engine), fileDialog_(fileDialog) {
    InitSkyfaultResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(engine::kApplicationTitle));
    QIcon icon;
    icon.addFile(QStringLiteral(":/skyfault/icon.png"));
    icon.addFile(QStringLiteral(":/skyfault/icon-256.png"));
    setWindowIcon(icon);
    setFont(CaptionFont());
    setStyleSheet(Style());

    BuildControls();
    BuildMenus();
    ConnectCommands();

    engine_.SetChangedCallback([this] {
        Refresh();
        txtMessage->repaint();  // a failure's text shows before its sound starts
    });
    engine_.SetQuitCallback([this] {
        unloaded_ = true;
        // Every other window goes with the main window, without its own handling.
        dialogs_.UnloadAll();
        if (frmPreferences_) {
            frmPreferences_->hide();
        }
        if (frmSystemSettings_) {
            frmSystemSettings_->hide();
        }
        if (frmAbout_) {
            frmAbout_->hide();
        }
        if (frmFailureLog_) {
            frmFailureLog_->hide();
        }
        hide();
        QCoreApplication::exit(0);
    });

    frmPreferences_ = std::make_unique<frmPreferences>(*this);
    Refresh();
}

frmMain::~frmMain() {
    engine_.SetChangedCallback(nullptr);
    engine_.SetQuitCallback(nullptr);
}

void frmMain::BuildControls() {
    const QFont bold = Bold(font());

    // Status frame: the status line and the two switches.
    fraStatus = Frame("fraStatus", caption::kFraStatus);
    txtMessage = new QLineEdit(QString::fromUtf8(caption::kTxtMessage));
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setFont(bold);
    txtMessage->setReadOnly(true);
    txtMessage->setMinimumWidth(280);
    cmdActivate = Button("cmdActivate", caption::kCmdActivate);
    cmdActivate->setEnabled(false);
    cmdDisable = Button("cmdDisable", caption::kCmdDisable);
    auto* switches = new QHBoxLayout;
    switches->addWidget(cmdActivate);
    switches->addStretch(1);
    switches->addWidget(cmdDisable);
    auto* statusLayout = new QVBoxLayout(fraStatus);
    statusLayout->addWidget(txtMessage);
    statusLayout->addLayout(switches);

    cmdDefault = Button("cmdDefault", caption::kCmdDefault);
    cmdDefault->setFont(bold);
    cmdSpecific = Button("cmdSpecific", caption::kCmdSpecific);
    cmdSpecific->setFont(bold);
    btnExit = Button("btnExit", caption::kBtnExit);
    btnExit->setFont(bold);
    btnExit->setMinimumWidth(100);

    Frame1 = Frame("Frame1", "");
    Image1 = new QLabel;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/skyfault/banner.png")));
    Image1->setFixedSize(300, 100);
    auto* bannerLayout = new QVBoxLayout(Frame1);
    bannerLayout->setContentsMargins(2, 2, 2, 2);
    bannerLayout->addWidget(Image1, 0, Qt::AlignCenter);

    auto* dialogButtons = new QHBoxLayout;
    dialogButtons->addWidget(cmdDefault);
    dialogButtons->addWidget(cmdSpecific);
    auto* exitRow = new QHBoxLayout;
    exitRow->addStretch(1);
    exitRow->addWidget(btnExit);
    exitRow->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(fraStatus);
    left->addLayout(dialogButtons);
    left->addLayout(exitRow);
    left->addStretch(1);
    left->addWidget(Frame1);

    // Current settings: the default probability, the interval and the systems.
    fraCurrentSettings = Frame("fraCurrentSettings", caption::kFraCurrentSettings);
    lblRateHeading = Label("lblRateHeading", caption::kLblRateHeading);
    lblRate = Label("lblRate", caption::kLblRate);
    lblCheckInterval = Label("lblCheckInterval", caption::kLblCheckInterval);
    lblInterval = Label("lblInterval", caption::kLblInterval);
    lblAllowedFailures = Label("lblAllowedFailures", caption::kLblAllowedFailures);
    lblAllowedFailures->setFont(bold);
    auto* values = new QGridLayout;
    values->addWidget(lblRateHeading, 0, 0);
    values->addWidget(lblRate, 0, 1);
    values->addWidget(lblCheckInterval, 1, 0);
    values->addWidget(lblInterval, 1, 1);
    values->setColumnStretch(1, 1);

    const auto& catalogue = Catalogue();
    for (int id = 0; id < kSystemCount; ++id) {
        auto* box = new QCheckBox(QString::fromUtf8(
            catalogue[id].caption.data(), static_cast<qsizetype>(catalogue[id].caption.size())));
        box->setObjectName(QStringLiteral("chkFailureType_%1").arg(id));
        box->setCheckState(Qt::Checked);
        chkFailureType[id] = box;
    }
    auto* systems = new QGridLayout;
    for (std::size_t i = 0; i < kSystemFrames.size(); ++i) {
        const SystemFrame& frame = kSystemFrames[i];
        const FramePlace& place = kFramePlaces[i];
        const std::string caption(GroupCaption(frame.group));
        QGroupBox* box = Frame(place.name, caption.c_str());
        systemFrames[i] = box;
        systems->addWidget(box, place.row, place.column, place.rowSpan, place.columnSpan);
        if (frame.columns == 1) {
            auto* layout = new QVBoxLayout(box);
            for (const int id : frame.systems) {
                layout->addWidget(chkFailureType[id]);
            }
            layout->addStretch(1);
        } else {
            auto* layout = new QGridLayout(box);
            for (std::size_t n = 0; n < frame.systems.size(); ++n) {
                layout->addWidget(chkFailureType[frame.systems[n]],
                                  static_cast<int>(n) / frame.columns,
                                  static_cast<int>(n) % frame.columns);
            }
        }
    }

    auto* current = new QVBoxLayout(fraCurrentSettings);
    current->addLayout(values);
    current->addWidget(lblAllowedFailures);
    current->addLayout(systems);
    current->addStretch(1);

    auto* central = new QWidget;
    central->setObjectName(QStringLiteral("centralWidget"));
    auto* whole = new QHBoxLayout(central);
    whole->addLayout(left);
    whole->addWidget(fraCurrentSettings, 1);
    setCentralWidget(central);
}

void frmMain::BuildMenus() {
    mnuFile = menuBar()->addMenu(QString::fromUtf8(caption::kMnuFile));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileDefault = mnuFile->addAction(QString::fromUtf8(caption::kMnuFileDefault));
    mnuFileDefault->setObjectName(QStringLiteral("mnuFileDefault"));
    mnuSpecificSystems = mnuFile->addAction(QString::fromUtf8(caption::kMnuSpecificSystems));
    mnuSpecificSystems->setObjectName(QStringLiteral("mnuSpecificSystems"));
    mnuFileExit = mnuFile->addAction(QString::fromUtf8(caption::kMnuFileExit));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));
    mnuFlight = menuBar()->addMenu(QString::fromUtf8(engine::kFlightMenuCaption));
    mnuFlight->setObjectName(QStringLiteral("mnuFlight"));
    mnuFlightRepair = mnuFlight->addAction(QString::fromUtf8(engine::kRepairItemCaption));
    mnuFlightRepair->setObjectName(QStringLiteral("mnuFlightRepair"));
    mnuFlightLog = mnuFlight->addAction(QString::fromUtf8(engine::kFailureLogItemCaption));
    mnuFlightLog->setObjectName(QStringLiteral("mnuFlightLog"));
    mnuHelp = menuBar()->addMenu(QString::fromUtf8(caption::kMnuHelp));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpAbout = mnuHelp->addAction(QString::fromUtf8(caption::kMnuHelpAbout));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
}

void frmMain::ConnectCommands() {
    connect(cmdActivate, &QPushButton::clicked, this, &frmMain::cmdActivate_Click);
    connect(cmdDisable, &QPushButton::clicked, this, &frmMain::cmdDisable_Click);
    connect(cmdDefault, &QPushButton::clicked, this, &frmMain::cmdDefault_Click);
    connect(cmdSpecific, &QPushButton::clicked, this, &frmMain::cmdSpecific_Click);
    connect(btnExit, &QPushButton::clicked, this, &frmMain::btnExit_Click);
    connect(mnuFileDefault, &QAction::triggered, this, &frmMain::mnuFileDefault_Click);
    connect(mnuSpecificSystems, &QAction::triggered, this, &frmMain::mnuSpecificSystems_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuFlightRepair, &QAction::triggered, this, &frmMain::mnuFlightRepair_Click);
    connect(mnuFlightLog, &QAction::triggered, this, &frmMain::mnuFlightLog_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
    for (int id = 0; id < kSystemCount; ++id) {
        connect(chkFailureType[id], &QCheckBox::clicked, this,
                [this, id] { chkFailureType_Click(id); });
    }
}

void frmMain::Refresh() {
    const engine::EngineState& state = engine_.state();
    const engine::MainWindowState& window = state.window;
    setWindowTitle(QString::fromStdString(window.title));

    // A message wider than the box shows its beginning, which says what
    // happened; the whole text is the box's tool tip.
    const QString message = QString::fromStdString(window.txtMessage.text);
    txtMessage->setText(message);
    txtMessage->setCursorPosition(0);
    txtMessage->setToolTip(message);
    QPalette palette = txtMessage->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, window.txtMessage.colour == engine::TextColour::Red
                                         ? QColor(255, 0, 0)
                                         : QColor(0, 0, 0));
    txtMessage->setPalette(palette);

    cmdActivate->setEnabled(window.cmdActivateEnabled);
    cmdDisable->setEnabled(window.cmdDisableEnabled);
    lblRate->setText(QString::fromStdString(window.lblRate));
    lblInterval->setText(QString::fromStdString(state.lblInterval()));

    for (int id = 0; id < kSystemCount; ++id) {
        QCheckBox* box = chkFailureType[id];
        ShowCheckValue(box, state.settings.allowed[id]);
        box->setEnabled(window.chkFailureTypeEnabled[id]);
    }
    mnuFlightRepair->setEnabled(engine_.AnyFailed());
    emit modelChanged();
}

void frmMain::cmdActivate_Click() {
    engine_.cmdActivate_Click();
}

void frmMain::cmdDisable_Click() {
    engine_.cmdDisable_Click();
}

void frmMain::cmdDefault_Click() {
    static_cast<void>(dialogs_.Show(engine::DialogId::Preferences));  // made with the window
    ShowModeless(*frmPreferences_);
}

void frmMain::cmdSpecific_Click() {
    const bool make = dialogs_.Show(engine::DialogId::SystemSettings);
    if (make || !frmSystemSettings_) {
        frmSystemSettings_ = std::make_unique<frmSystemSettings>(*this);
    }
    ShowModeless(*frmSystemSettings_);
}

QWidget* frmMain::DialogWindow(engine::DialogId dialog) const {
    switch (dialog) {
        case engine::DialogId::Preferences:
            return frmPreferences_.get();
        case engine::DialogId::SystemSettings:
            return frmSystemSettings_.get();
        case engine::DialogId::About:
            break;
        case engine::DialogId::FailureLog:
            return frmFailureLog_.get();
    }
    return frmAbout_.get();
}

void frmMain::DialogEnded(engine::DialogId dialog, engine::DialogEnd how) {
    if (QWidget* window = DialogWindow(dialog)) {
        window->hide();
    }
    if (!dialogs_.End(dialog, how)) {
        return;
    }
    // Deleted once the handler that asked for it has returned.
    if (dialog == engine::DialogId::SystemSettings && frmSystemSettings_) {
        frmSystemSettings_.release()->deleteLater();
    } else if (dialog == engine::DialogId::About && frmAbout_) {
        frmAbout_.release()->deleteLater();
    }
}

void frmMain::btnExit_Click() {
    engine_.btnExit_Click();
    Refresh();  // when the file could not be written the window stays
}

void frmMain::mnuFileExit_Click() {
    engine_.mnuFileExit_Click();
    Refresh();
}

void frmMain::mnuFlightRepair_Click() {
    engine_.mnuFlightRepair_Click();
    Refresh();
}

void frmMain::mnuFlightLog_Click() {
    if (dialogs_.Show(engine::DialogId::FailureLog) || !frmFailureLog_) {
        frmFailureLog_ = std::make_unique<frmFailureLog>(*this);
    }
    ShowModeless(*frmFailureLog_);
}

void frmMain::mnuHelpAbout_Click() {
    if (dialogs_.Show(engine::DialogId::About) || !frmAbout_) {
        frmAbout_ = std::make_unique<frmAbout>();
        connect(frmAbout_.get(), &frmAbout::unloaded, this,
                [this] { DialogEnded(engine::DialogId::About, engine::DialogEnd::Ok); });
    }
    ShowModeless(*frmAbout_);
}

void frmMain::chkFailureType_Click(int index) {
    engine::chkFailureType_Click(engine_, index);
    Refresh();
}

void frmMain::Form_Unload() {
    if (!unloaded_) {
        engine_.Unload();
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    // The close box: the link is closed and the program ends, saving nothing.
    Form_Unload();
    event->accept();
}

void frmMain::ShowModeless(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace skyfault::ui
