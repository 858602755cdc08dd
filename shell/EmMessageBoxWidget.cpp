#include "EmMessageBoxWidget.h"

#include <QCloseEvent>
#include <QStringList>

EmMessageBoxWidget* EmMessageBoxWidget::shared_box = nullptr;

EmMessageBoxWidget::EmMessageBoxWidget(int kind, QWidget* parent)
    : QWidget(parent)
    , kind(kind)
{
    setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    set_kind(kind);
    connect(confirm_btn, &QPushButton::clicked, this, &QWidget::close);
}

// A shared box that stopped being of the error kind, or was deleted without closing, must not
// leave the next instance() a dangling pointer.
EmMessageBoxWidget::~EmMessageBoxWidget()
{
    if (shared_box == this) {
        shared_box = nullptr;
    }
}

EmMessageBoxWidget* EmMessageBoxWidget::instance()
{
    if (!shared_box) {
        shared_box = new EmMessageBoxWidget(1, nullptr);
    }
    return shared_box;
}

void EmMessageBoxWidget::set_kind(int kind)
{
    this->kind = kind;
    if (kind == 1) {
        warn_title_pic_label->setStyleSheet(
            QStringLiteral("image: url(:/Kestrune/Resources/img/error_title.png);"));
    } else if (kind == 2) {
        warn_title_pic_label->setStyleSheet(
            QStringLiteral("image: url(:/Kestrune/Resources/img/about_title.png);"));
    }
}

void EmMessageBoxWidget::set_title(const QString& text)
{
    // The form's design-time title is markup; what callers set is not.
    warn_title_label->setTextFormat(Qt::PlainText);
    warn_title_label->setText(text);
    name_window();
}

void EmMessageBoxWidget::set_detail(const QString& text)
{
    warn_detail_label->setText(text);
    name_window();
}

// The box has no frame to show a title in, but window switchers, screen readers and tools that
// look at the desktop name a window by its title: they get what the box says, not the form's name.
void EmMessageBoxWidget::name_window()
{
    QStringList parts;
    // Until a caller sets it, the title label holds the form's markup.
    if (warn_title_label->textFormat() == Qt::PlainText && !warn_title_label->text().isEmpty()) {
        parts << warn_title_label->text();
    }
    if (!warn_detail_label->text().isEmpty()) {
        parts << warn_detail_label->text();
    }
    setWindowTitle(parts.join(QStringLiteral("：")));
}

void EmMessageBoxWidget::mousePressEvent(QMouseEvent* event)
{
    chrome.press(event);
}

void EmMessageBoxWidget::mouseMoveEvent(QMouseEvent* event)
{
    chrome.move(this, event);
}

void EmMessageBoxWidget::paintEvent(QPaintEvent* event)
{
    chrome.paint(this);
    QWidget::paintEvent(event);
}

void EmMessageBoxWidget::closeEvent(QCloseEvent* event)
{
    // Any error box closing frees the shared slot, so the next error opens a fresh box.
    if (kind == 1) {
        shared_box = nullptr;
    }
    emit message_box_close();
    QWidget::closeEvent(event);
}
