#include "PasswordSheet.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace vessamo::gui {

PasswordSheet::PasswordSheet(QWidget* parent, const PasswordRequest& request)
    : QDialog(parent), field_(new QLineEdit(this)), reason_(new QLabel(this)) {
    setObjectName(QStringLiteral("passwordSheet"));
    setWindowTitle(QStringLiteral("Vessamo"));
    setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QString::fromStdString(request.title), this);
    title->setWordWrap(true);
    layout->addWidget(title);
    field_->setObjectName(QStringLiteral("passwordField"));
    field_->setEchoMode(QLineEdit::Password);
    field_->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhNoPredictiveText | Qt::ImhSensitiveData);
    layout->addWidget(field_);
    reason_->setObjectName(QStringLiteral("passwordReason"));
    reason_->setWordWrap(true);
    reason_->setStyleSheet(QStringLiteral("color: #c0392b;"));
    reason_->setText(QString::fromStdString(request.detail));
    reason_->setVisible(!request.detail.empty());
    layout->addWidget(reason_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral(" Scan "));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral(" Cancel "));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    field_->setFocus();
}

std::optional<std::string> PasswordSheet::ask(QWidget* parent, const PasswordRequest& request) {
    QPointer<PasswordSheet> sheet = new PasswordSheet(parent, request);
    QEventLoop loop;
    connect(sheet, &QDialog::finished, &loop, &QEventLoop::quit);
    connect(sheet, &QObject::destroyed, &loop, &QEventLoop::quit);
    sheet->open();
    loop.exec();
    if (!sheet) {
        return std::nullopt;
    }
    std::optional<std::string> typed;
    if (sheet->result() == QDialog::Accepted) {
        typed = sheet->field_->text().toStdString();
    }
    // The widget's own copy goes with it; the caller wipes the one returned.
    sheet->field_->clear();
    sheet->deleteLater();
    return typed;
}

}  // namespace vessamo::gui
