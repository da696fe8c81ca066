#include "ui/qt/frmAbout.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/front_end.h"
#include "ui/qt/frmMain.h"

namespace skyfault::ui {

namespace {

QFrame* Line() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setModal(false);
    setFont(CaptionFont());

    picIcon = new QLabel;
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(QPixmap(QStringLiteral(":/skyfault/icon.png")));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    txtAbout = new QPlainTextEdit;
    txtAbout->setObjectName(QStringLiteral("txtAbout"));
    txtAbout->setReadOnly(true);
    txtAbout->setPlainText(QString::fromStdString(engine::AboutText("\n")));
    txtAbout->setMinimumSize(420, 150);

    cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);

    linTop = Line();
    linTop->setObjectName(QStringLiteral("linTop"));
    linBottom = Line();
    linBottom->setObjectName(QStringLiteral("linBottom"));

    auto* top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addWidget(txtAbout, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(linTop);
    layout->addLayout(top);
    layout->addWidget(linBottom);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    Form_Load();
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("About ") + QString::fromUtf8(engine::kApplicationTitle));
    setWindowIcon(QPixmap(QStringLiteral(":/skyfault/icon.png")));
}

void frmAbout::cmdOK_Click() {
    Unload();
}

void frmAbout::Unload() {
    if (unloading_) {
        return;
    }
    unloading_ = true;
    hide();
    emit unloaded();
}

void frmAbout::closeEvent(QCloseEvent* event) {
    event->accept();
    Unload();
}

void frmAbout::reject() {
    Unload();
}

}  // namespace skyfault::ui
