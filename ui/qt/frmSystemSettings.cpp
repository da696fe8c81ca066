#include "ui/qt/frmSystemSettings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "engine/captions.h"
#include "engine/engine.h"
#include "ui/qt/controls.h"
#include "ui/qt/file_dialog.h"
#include "ui/qt/frmMain.h"

namespace skyfault::ui {

namespace caption = engine::caption;

namespace {

using engine::SystemBox;

QLabel* Label(const char* name, const char* caption) {
    return Named(new QLabel(QString::fromUtf8(caption)), name);
}

QLineEdit* Box(const char* name) {
    auto* box = Named(new QLineEdit, name);
    box->setMinimumWidth(70);
    return box;
}

QPushButton* Button(const char* name, const char* caption) {
    auto* button = Named(new QPushButton(QString::fromUtf8(caption)), name);
    // No button answers the Enter key.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

constexpr SystemBox kBoxes[] = {SystemBox::SystemRate, SystemBox::BegIAS,     SystemBox::EndIAS,
                                SystemBox::BegOAT,     SystemBox::EndOAT,     SystemBox::BegAlt,
                                SystemBox::EndAlt,     SystemBox::SystemSound};

}  // namespace

frmSystemSettings::frmSystemSettings(frmMain& main)
    : QDialog(nullptr), main_(main), model_(main.Engine()) {
    setObjectName(QStringLiteral("frmSystemSettings"));
    setWindowTitle(QString::fromUtf8(caption::kFrmSystemSettings));
    setModal(false);
    setFont(CaptionFont());  // Century Gothic where installed
    BuildControls();
    Render();
    ConnectControls();
}

frmSystemSettings::~frmSystemSettings() = default;

void frmSystemSettings::BuildControls() {
    lblSystemTitle = Label("lblSystemTitle", caption::kLblSystemTitle);
    cmbSystem = Named(new QComboBox, "cmbSystem");
    cmbSystem->setEditable(false);
    for (std::string_view entry : engine::SystemListEntries()) {
        cmbSystem->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
    }
    auto* systemRow = new QHBoxLayout;
    systemRow->addWidget(lblSystemTitle);
    systemRow->addWidget(cmbSystem, 1);

    lblEnterFailureRate = Label("lblEnterFailureRate", caption::kLblEnterFailureRate);
    txtSystemRate = Box("txtSystemRate");
    lblShowTimePeriod = Label("lblShowTimePeriod", caption::kLblShowTimePeriod);
    auto* rateRow = new QHBoxLayout;
    rateRow->addWidget(lblEnterFailureRate);
    rateRow->addWidget(txtSystemRate);
    rateRow->addWidget(lblShowTimePeriod, 1);

    fraFailureCriteria =
        Named(new QGroupBox(QString::fromUtf8(caption::kFraFailureCriteria)), "fraFailureCriteria");
    lblFailureNote = Label("lblFailureNote", caption::kLblFailureNote);
    lblFailureNote->setWordWrap(true);
    lblIAS = Label("lblIAS", caption::kLblIAS);
    txtBegIAS = Box("txtBegIAS");
    txtEndIAS = Box("txtEndIAS");
    lblOAT = Label("lblOAT", caption::kLblOAT);
    txtBegOAT = Box("txtBegOAT");
    txtEndOAT = Box("txtEndOAT");
    lblAltitude = Label("lblAltitude", caption::kLblAltitude);
    txtBegAlt = Box("txtBegAlt");
    txtEndAlt = Box("txtEndAlt");
    auto* criteria = new QGridLayout(fraFailureCriteria);
    criteria->addWidget(lblFailureNote, 0, 0, 1, 3);
    criteria->addWidget(lblIAS, 1, 0);
    criteria->addWidget(txtBegIAS, 1, 1);
    criteria->addWidget(txtEndIAS, 1, 2);
    criteria->addWidget(lblOAT, 2, 0);
    criteria->addWidget(txtBegOAT, 2, 1);
    criteria->addWidget(txtEndOAT, 2, 2);
    criteria->addWidget(lblAltitude, 3, 0);
    criteria->addWidget(txtBegAlt, 3, 1);
    criteria->addWidget(txtEndAlt, 3, 2);

    lblSystemSound = Label("lblSystemSound", caption::kLblSystemSound);
    txtSystemSound = Box("txtSystemSound");
    txtSystemSound->setMinimumWidth(260);
    cmdSoundBrowse = Button("cmdSoundBrowse", caption::kBrowse);
    auto* soundRow = new QHBoxLayout;
    soundRow->addWidget(txtSystemSound, 1);
    soundRow->addWidget(cmdSoundBrowse);

    cmdOKSystemSettings = Button("cmdOKSystemSettings", caption::kOK);
    cmdResetSystemSettings = Button("cmdResetSystemSettings", caption::kCmdResetSystemSettings);
    cmdCancelSystemSettings = Button("cmdCancelSystemSettings", caption::kCancel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOKSystemSettings);
    buttons->addWidget(cmdResetSystemSettings);
    buttons->addWidget(cmdCancelSystemSettings);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(systemRow);
    layout->addLayout(rateRow);
    layout->addWidget(fraFailureCriteria);
    layout->addWidget(lblSystemSound);
    layout->addLayout(soundRow);
    layout->addLayout(buttons);
}

QLineEdit* frmSystemSettings::BoxOf(SystemBox box) const {
    switch (box) {
        case SystemBox::SystemRate:
            return txtSystemRate;
        case SystemBox::BegIAS:
            return txtBegIAS;
        case SystemBox::EndIAS:
            return txtEndIAS;
        case SystemBox::BegOAT:
            return txtBegOAT;
        case SystemBox::EndOAT:
            return txtEndOAT;
        case SystemBox::BegAlt:
            return txtBegAlt;
        case SystemBox::EndAlt:
            return txtEndAlt;
        case SystemBox::SystemSound:
            break;
    }
    return txtSystemSound;
}

void frmSystemSettings::ConnectControls() {
    connect(cmbSystem, &QComboBox::currentIndexChanged, this, &frmSystemSettings::cmbSystem_Click);
    for (SystemBox box : kBoxes) {
        connect(BoxOf(box), &QLineEdit::textEdited, this, [this, box](const QString& text) {
            if (!model_.SetText(box, text.toStdString())) {
                Render();
                ShowSoundRefusal(*BoxOf(box));
            }
        });
    }
    connect(cmdOKSystemSettings, &QPushButton::clicked, this,
            &frmSystemSettings::cmdOKSystemSettings_Click);
    connect(cmdResetSystemSettings, &QPushButton::clicked, this,
            &frmSystemSettings::cmdResetSystemSettings_Click);
    connect(cmdCancelSystemSettings, &QPushButton::clicked, this,
            &frmSystemSettings::cmdCancelSystemSettings_Click);
    connect(cmdSoundBrowse, &QPushButton::clicked, this, &frmSystemSettings::cmdSoundBrowse_Click);
}

void frmSystemSettings::Render() {
    rendering_ = true;
    const engine::SystemSettingsForm& form = model_.form();
    if (cmbSystem->currentIndex() != form.cmbSystem) {
        cmbSystem->setCurrentIndex(form.cmbSystem);
    }
    for (SystemBox box : kBoxes) {
        const QString shown = QString::fromStdString(form.Box(box));
        if (BoxOf(box)->text() != shown) {
            BoxOf(box)->setText(shown);
        }
    }
    lblShowTimePeriod->setText(QString::fromStdString(form.lblShowTimePeriod));
    rendering_ = false;
}

void frmSystemSettings::showEvent(QShowEvent* event) {
    model_.Show();  // after OK: from the tables again
    Render();
    QDialog::showEvent(event);
}

void frmSystemSettings::reject() {
    // Escape and the frame's close box.
    cmdCancelSystemSettings_Click();
}

void frmSystemSettings::cmbSystem_Click(int position) {
    if (rendering_) {
        return;
    }
    model_.cmbSystem_Click(position);
    Render();
}

void frmSystemSettings::cmdOKSystemSettings_Click() {
    model_.cmdOKSystemSettings_Click();
    Render();
    if (!model_.visible()) {
        main_.DialogEnded(engine::DialogId::SystemSettings, engine::DialogEnd::Ok);
    }
}

void frmSystemSettings::cmdResetSystemSettings_Click() {
    model_.cmdResetSystemSettings_Click();
    Render();
}

void frmSystemSettings::cmdCancelSystemSettings_Click() {
    if (model_.unloaded()) {
        return;
    }
    model_.cmdCancelSystemSettings_Click();
    Render();
    // Destroyed once this handler has returned.
    main_.DialogEnded(engine::DialogId::SystemSettings, engine::DialogEnd::Cancel);
}

void frmSystemSettings::cmdSoundBrowse_Click() {
    // The platform's own title: the dialog has none of its own.
    // Returns at once; the answer arrives while the main window stays usable.
    main_.Files().Open(*this, QString(), [this](const QString& path) {
        const bool kept = model_.cmdSoundBrowse_Click(path.toStdString());
        Render();
        if (!kept) {
            ShowSoundRefusal(*txtSystemSound);
        }
    });
}

}  // namespace skyfault::ui
