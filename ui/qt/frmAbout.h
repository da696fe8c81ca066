#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QFrame;

namespace skyfault::ui {

// The About window: the product's name and version, the program's icon and
// an OK button. It is modeless; OK or the close box unloads it (the owner
// is told through `unloaded` and destroys it).
class frmAbout final : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    QPlainTextEdit* txtAbout = nullptr;
    QLabel* picIcon = nullptr;
    QPushButton* cmdOK = nullptr;
    QFrame* linTop = nullptr;
    QFrame* linBottom = nullptr;

signals:
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Form_Load();
    void cmdOK_Click();
    void Unload();

    bool unloading_ = false;
};

}  // namespace skyfault::ui
