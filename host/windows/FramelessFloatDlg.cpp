#include "FramelessFloatDlg.h"

#include "ISubModuleDlg.h"

#include <QHash>
#include <QVBoxLayout>

namespace {

QHash<int, FramelessFloatDlg::ContentFactory>& contentFactories()
{
    static QHash<int, FramelessFloatDlg::ContentFactory> factories;
    return factories;
}

} // namespace

void FramelessFloatDlg::setContentFactory(Subwin_Type type, ContentFactory factory)
{
    if (factory)
        contentFactories().insert(type, factory);
    else
        contentFactories().remove(type);
}

FramelessFloatDlg::ContentFactory FramelessFloatDlg::contentFactory(Subwin_Type type)
{
    return contentFactories().value(type, nullptr);
}

FramelessFloatDlg::FramelessFloatDlg(int accountId, Subwin_Type type, Qt::WindowFlags flags, QWidget* parent)
    : QDialog(parent, flags)
    , m_accountId(accountId)
    , m_type(type)
{
    setObjectName(QStringLiteral("FramelessFloatDlg"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (const ContentFactory factory = contentFactory(type))
        embedContent(factory(accountId, 0, this));
}

FramelessFloatDlg::~FramelessFloatDlg() = default;

ISubModuleDlg* FramelessFloatDlg::content() const
{
    return m_content.data();
}

void FramelessFloatDlg::embedContent(ISubModuleDlg* content)
{
    if (!content)
        return;
    m_content = content;
    layout()->addWidget(content);
    connect(content, &ISubModuleDlg::signal_pushbutton_ok, this, &QDialog::accept);
    connect(content, &ISubModuleDlg::signal_pushbutton_cancel, this, &QDialog::reject);
}
