#include "ui/qt/frmFailureLog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>
#include <string>
#include <vector>

#include "engine/captions.h"
#include "engine/engine.h"
#include "engine/flight_log.h"
#include "ui/qt/controls.h"
#include "ui/qt/file_dialog.h"
#include "ui/qt/frmMain.h"

namespace skyfault::ui {

namespace caption = engine::caption;

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The system's caption, then the readings (airspeed, outside air, ground
// altitude), which stand right-aligned.
constexpr int kSystemColumn = 3;
constexpr int kFirstReadingColumn = 4;

QTreeWidgetItem* Row(const engine::FlightEvent& event) {
    const auto cells = engine::FlightEventCells(event);
    auto* row = new QTreeWidgetItem;
    for (int column = 0; column < engine::kFlightLogColumns; ++column) {
        row->setText(column, Text(cells[static_cast<std::size_t>(column)]));
        if (column >= kFirstReadingColumn) {
            row->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    return row;
}

bool Shows(const QTreeWidgetItem* row, const engine::FlightEvent& event) {
    const auto cells = engine::FlightEventCells(event);
    for (int column = 0; column < engine::kFlightLogColumns; ++column) {
        if (row->text(column) != Text(cells[static_cast<std::size_t>(column)])) {
            return false;
        }
    }
    return true;
}

}  // namespace

frmFailureLog::frmFailureLog(frmMain& main) : QDialog(nullptr), main_(main) {
    setObjectName(QStringLiteral("frmFailureLog"));
    setWindowTitle(Text(engine::kFailureLogTitle));
    setModal(false);
    setFont(CaptionFont());
    BuildControls();
    connect(&main_, &frmMain::modelChanged, this, &frmFailureLog::Render);
    connect(txtMaxFailures, &QLineEdit::editingFinished, this,
            &frmFailureLog::txtMaxFailures_Commit);
    connect(cmdClose, &QPushButton::clicked, this, &frmFailureLog::cmdClose_Click);
}

frmFailureLog::~frmFailureLog() = default;

void frmFailureLog::BuildControls() {
    lvwEvents = Named(new QTreeWidget, "lvwEvents");
    lvwEvents->setColumnCount(engine::kFlightLogColumns);
    QStringList captions;
    for (const std::string_view caption : engine::kFlightLogCaptions) {
        captions << Text(caption);
    }
    lvwEvents->setHeaderLabels(captions);
    lvwEvents->setRootIsDecorated(false);
    lvwEvents->setUniformRowHeights(true);
    lvwEvents->setSelectionMode(QAbstractItemView::NoSelection);
    lvwEvents->setAllColumnsShowFocus(true);
    // The system's column takes the room left, the readings stand at the right.
    lvwEvents->header()->setStretchLastSection(false);
    lvwEvents->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvwEvents->header()->setSectionResizeMode(kSystemColumn, QHeaderView::Stretch);
    for (int column = kFirstReadingColumn; column < engine::kFlightLogColumns; ++column) {
        lvwEvents->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }

    lblEstimate = Named(new QLabel, "lblEstimate");
    lblEstimate->setWordWrap(true);

    lblStopAfter = Named(new QLabel(Text(engine::kStopAfterLead)), "lblStopAfter");
    txtMaxFailures = Named(new QLineEdit, "txtMaxFailures");
    txtMaxFailures->setMaximumWidth(
        txtMaxFailures->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    lblStopAfter->setBuddy(txtMaxFailures);
    lblNoLimit = Named(new QLabel(Text(engine::kStopAfterTail)), "lblNoLimit");
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(lblStopAfter);
    limitRow->addWidget(txtMaxFailures);
    limitRow->addWidget(lblNoLimit);
    limitRow->addStretch(1);

    cmdClose = Named(new QPushButton(QString::fromUtf8(caption::kClose)), "cmdClose");
    // No button answers the Enter key: it commits the limit's box.
    cmdClose->setAutoDefault(false);
    cmdClose->setDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lvwEvents, 1);
    layout->addWidget(lblEstimate);
    layout->addLayout(limitRow);
    layout->addLayout(buttons);
    resize(760, 340);
}

void frmFailureLog::Render() {
    if (!isVisible()) {
        return;  // drawn anew when shown
    }
    RenderEvents();
    lblEstimate->setText(QString::fromStdString(main_.Engine().FailureEstimate()));
    if (!txtMaxFailures->isModified()) {  // what the user is typing stays
        ShowLimit();
    }
}

void frmFailureLog::RenderEvents() {
    const std::vector<engine::FlightEvent>& events = main_.Engine().state().flight.events;
    const auto count = static_cast<int>(events.size());
    // Events are only appended, and the oldest go once the log is full: the
    // rows shown stay while the first and the last of them still match.
    int rows = lvwEvents->topLevelItemCount();
    if (rows > count || (rows > 0 && !(Shows(lvwEvents->topLevelItem(0), events.front()) &&
                                       Shows(lvwEvents->topLevelItem(rows - 1),
                                             events[static_cast<std::size_t>(rows - 1)])))) {
        lvwEvents->clear();
        rows = 0;
    }
    if (rows == count) {
        return;
    }
    QList<QTreeWidgetItem*> added;
    for (int i = rows; i < count; ++i) {
        added.append(Row(events[static_cast<std::size_t>(i)]));
    }
    lvwEvents->addTopLevelItems(added);
    lvwEvents->scrollToItem(added.back());
}

void frmFailureLog::ShowLimit() {
    const QString limit = QString::number(main_.Engine().state().settings.maxFailures);
    if (txtMaxFailures->text() != limit) {
        txtMaxFailures->setText(limit);
    }
    txtMaxFailures->setModified(false);
}

void frmFailureLog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Render();
}

void frmFailureLog::reject() {
    // Escape and the frame's close box.
    cmdClose_Click();
}

void frmFailureLog::txtMaxFailures_Commit() {
    const std::optional<std::string> refusal =
        main_.Engine().SetMaxFailures(txtMaxFailures->text().toStdString());
    ShowLimit();                   // the limit in force
    if (refusal && isVisible()) {  // not when the box lost the focus as the window went
        ShowRefusal(*txtMaxFailures, *refusal);
    }
}

void frmFailureLog::cmdClose_Click() {
    main_.DialogEnded(engine::DialogId::FailureLog, engine::DialogEnd::Ok);
}

}  // namespace skyfault::ui
