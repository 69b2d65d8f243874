#include "DetailMessageBox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int kIconExtent = 32;
constexpr int kMinimumWidth = 480;

QLabel* iconLabel(const QStyle* style, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(style->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(kIconExtent));
    label->setAlignment(Qt::AlignTop);
    return label;
}

QLabel* textLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("label_text"));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

DetailMessageBox::DetailMessageBox(const QString& title, const QString& text, const QString& detail, QWidget* parent)
    : QDialog(parent)
    , m_detail(new QPlainTextEdit(detail, this))
{
    setObjectName(QStringLiteral("DetailMessageBox"));
    setWindowTitle(title);
    setSizeGripEnabled(true);

    m_detail->setObjectName(QStringLiteral("plainTextEdit_detail"));
    m_detail->setReadOnly(true);
    m_detail->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QMargins margins = m_detail->contentsMargins();
    m_detail->setMinimumHeight(m_detail->fontMetrics().lineSpacing() * VisibleDetailLines
                               + int(2 * m_detail->document()->documentMargin()) + margins.top() + margins.bottom());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel(style(), this));
    top->addWidget(textLabel(text, this), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_detail, 1);
    layout->addWidget(buttons);
    setMinimumWidth(kMinimumWidth);
}

DetailMessageBox::~DetailMessageBox() = default;
