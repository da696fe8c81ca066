#include "ui/qt/frmPreferences.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <string>

#include "engine/captions.h"
#include "engine/engine.h"
#include "engine/front_end.h"
#include "ui/qt/controls.h"
#include "ui/qt/file_dialog.h"
#include "ui/qt/frmMain.h"

namespace skyfault::ui {

namespace caption = engine::caption;

namespace {

QPushButton* Button(const char* name, const char* caption) {
    auto* button = Named(new QPushButton(QString::fromUtf8(caption)), name);
    // No button answers the Enter key.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void ShowText(QLineEdit* box, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (box->text() != shown) {
        box->setText(shown);
    }
}

}  // namespace

frmPreferences::frmPreferences(frmMain& main)
    : QDialog(nullptr), main_(main), model_(main.Engine()) {
    setObjectName(QStringLiteral("frmPreferences"));
    setWindowTitle(QString::fromUtf8(caption::kFrmPreferences));
    setModal(false);
    setFont(CaptionFont());
    BuildControls();
    ConnectControls();
    Render();
}

frmPreferences::~frmPreferences() = default;

void frmPreferences::BuildControls() {
    fraFrequencySettings = Named(new QGroupBox(QString::fromUtf8(caption::kFraFrequencySettings)),
                                 "fraFrequencySettings");
    lblEnterFailureRate =
        Named(new QLabel(QString::fromUtf8(caption::kLblEnterFailureRate)), "lblEnterFailureRate");
    txtRateDenominator =
        Named(new QLineEdit(QString::fromUtf8(caption::kTxtRateDenominator)), "txtRateDenominator");
    lblIntervalDesc =
        Named(new QLabel(QString::fromStdString(engine::IntervalLabel())), "lblIntervalDesc");
    txtInterval = Named(new QLineEdit(QString::fromUtf8(caption::kTxtInterval), lblIntervalDesc),
                        "txtInterval");
    auto* frequency = new QGridLayout(fraFrequencySettings);
    frequency->addWidget(lblEnterFailureRate, 0, 0);
    frequency->addWidget(txtRateDenominator, 0, 1);
    frequency->addWidget(lblIntervalDesc, 1, 0, 1, 3);
    frequency->setColumnStretch(2, 1);

    lblDefaultSound =
        Named(new QLabel(QString::fromUtf8(caption::kLblDefaultSound)), "lblDefaultSound");
    txtDefaultSound = Named(new QLineEdit, "txtDefaultSound");
    txtDefaultSound->setMinimumWidth(260);
    cmdDefaultBrowse = Button("cmdDefaultBrowse", caption::kBrowse);
    auto* soundRow = new QHBoxLayout;
    soundRow->addWidget(txtDefaultSound, 1);
    soundRow->addWidget(cmdDefaultBrowse);

    chkAudio = Named(new QCheckBox(QString::fromUtf8(caption::kChkAudio)), "chkAudio");
    chkText = Named(new QCheckBox(QString::fromUtf8(caption::kChkText)), "chkText");

    fraFuelLeakSpeed =
        Named(new QGroupBox(QString::fromUtf8(caption::kFraFuelLeakSpeed)), "fraFuelLeakSpeed");
    auto* leak = new QHBoxLayout(fraFuelLeakSpeed);
    for (int index = 0; index < 3; ++index) {
        auto* option = new QRadioButton(QString::fromUtf8(caption::kOptFuelLeakSpeed[index]));
        option->setObjectName(QStringLiteral("optFuelLeakSpeed_%1").arg(index));
        optFuelLeakSpeed[static_cast<std::size_t>(index)] = option;
        leak->addWidget(option);
    }

    chkPause = Named(new QCheckBox(QString::fromUtf8(caption::kChkPause)), "chkPause");

    cmdPrefsOK = Button("cmdPrefsOK", caption::kOK);
    cmdPrefsCancel = Button("cmdPrefsCancel", caption::kCancel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdPrefsOK);
    buttons->addWidget(cmdPrefsCancel);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraFrequencySettings);
    layout->addWidget(lblDefaultSound);
    layout->addLayout(soundRow);
    layout->addWidget(chkAudio);
    layout->addWidget(chkText);
    layout->addWidget(fraFuelLeakSpeed);
    layout->addWidget(chkPause);
    layout->addLayout(buttons);
    PlaceIntervalBox();
}

void frmPreferences::ConnectControls() {
    connect(txtRateDenominator, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.SetRateText(text.toStdString()); });
    connect(txtInterval, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.SetIntervalText(text.toStdString()); });
    connect(txtDefaultSound, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!model_.SetSoundText(text.toStdString())) {
            Render();
            ShowSoundRefusal(*txtDefaultSound);
        }
    });
    connect(cmdDefaultBrowse, &QPushButton::clicked, this, &frmPreferences::cmdDefaultBrowse_Click);
    connect(chkAudio, &QCheckBox::clicked, this, &frmPreferences::chkAudio_Click);
    connect(chkText, &QCheckBox::clicked, this, &frmPreferences::chkText_Click);
    connect(chkPause, &QCheckBox::clicked, this, &frmPreferences::chkPause_Click);
    for (int index = 0; index < 3; ++index) {
        connect(optFuelLeakSpeed[static_cast<std::size_t>(index)], &QRadioButton::clicked, this,
                [this, index] { optFuelLeakSpeed_Click(index); });
    }
    connect(cmdPrefsOK, &QPushButton::clicked, this, &frmPreferences::cmdPrefsOK_Click);
    connect(cmdPrefsCancel, &QPushButton::clicked, this, &frmPreferences::cmdPrefsCancel_Click);
}

void frmPreferences::PlaceIntervalBox() {
    const QFontMetrics metrics = lblIntervalDesc->fontMetrics();
    const int left =
        metrics.horizontalAdvance(QString::fromStdString(std::string(engine::kIntervalLead) + " "));
    const int width =
        metrics.horizontalAdvance(QString(engine::kIntervalBlanks - 2, QLatin1Char(' ')));
    const int height = txtInterval->sizeHint().height();
    lblIntervalDesc->setFixedHeight(height);
    lblIntervalDesc->setMinimumWidth(metrics.horizontalAdvance(lblIntervalDesc->text()) +
                                     lblIntervalDesc->margin() * 2);
    txtInterval->setGeometry(
        left, 0, std::max(width, metrics.horizontalAdvance(QStringLiteral("00000"))), height);
}

void frmPreferences::Render() {
    const engine::PreferencesForm& form = model_.form();
    ShowText(txtRateDenominator, form.txtRateDenominator);
    ShowText(txtInterval, form.txtInterval);
    ShowText(txtDefaultSound, form.txtDefaultSound);
    ShowCheckValue(chkAudio, form.chkAudio);
    ShowCheckValue(chkText, form.chkText);
    ShowCheckValue(chkPause, form.chkPause);
    for (int index = 0; index < 3; ++index) {
        QRadioButton* option = optFuelLeakSpeed[static_cast<std::size_t>(index)];
        const bool selected = form.optFuelLeakSpeed == index;
        if (option->isChecked() != selected) {
            // Lets every option go when none is to be selected.
            option->setAutoExclusive(false);
            option->setChecked(selected);
            option->setAutoExclusive(true);
        }
    }
}

void frmPreferences::showEvent(QShowEvent* event) {
    model_.Show();
    Render();
    PlaceIntervalBox();
    QDialog::showEvent(event);
}

void frmPreferences::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange && txtInterval != nullptr) {
        PlaceIntervalBox();
    }
    QDialog::changeEvent(event);
}

void frmPreferences::reject() {
    // Escape and the frame's close box.
    cmdPrefsCancel_Click();
}

void frmPreferences::cmdPrefsOK_Click() {
    model_.cmdPrefsOK_Click();
    Render();
    if (!model_.visible()) {
        main_.DialogEnded(engine::DialogId::Preferences, engine::DialogEnd::Ok);
    }
}

void frmPreferences::cmdPrefsCancel_Click() {
    model_.cmdPrefsCancel_Click();
    Render();
    if (!model_.visible()) {
        main_.DialogEnded(engine::DialogId::Preferences, engine::DialogEnd::Cancel);
    }
}

void frmPreferences::cmdDefaultBrowse_Click() {
    // Returns at once; the answer arrives while the main window stays usable.
    main_.Files().Open(
        *this,
        QString::fromUtf8(engine::kOpenSoundFileTitle.data(), engine::kOpenSoundFileTitle.size()),
        [this](const QString& path) {
            const bool kept = model_.cmdDefaultBrowse_Click(path.toStdString());
            Render();
            if (!kept) {
                ShowSoundRefusal(*txtDefaultSound);
            }
        });
}

void frmPreferences::chkAudio_Click() {
    model_.chkAudio_Click();
    Render();
}

void frmPreferences::chkText_Click() {
    model_.chkText_Click();
    Render();
}

void frmPreferences::chkPause_Click() {
    model_.chkPause_Click();
    Render();
}

void frmPreferences::optFuelLeakSpeed_Click(int index) {
    model_.optFuelLeakSpeed_Click(index);
    Render();
}

}  // namespace skyfault::ui
