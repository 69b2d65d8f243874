#include "FramelessFloatDlg.h"

#include "ISubModuleDlg.h"
#include "VelmClient.h"
#include "WindowManager.h"

#include <QHash>
#include <QVBoxLayout>
#include <QVector>

namespace {

QHash<int, FramelessFloatDlg::ContentFactory>& contentFactories()
{
    static QHash<int, FramelessFloatDlg::ContentFactory> factories;
    return factories;
}

// Every font is read before any is changed: a parent's new font reaches the children that
// inherit it at once, which would otherwise be scaled twice.
void scaleFonts(QWidget* root, qreal factor)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    QVector<QFont> fonts;
    fonts.reserve(widgets.size());
    for (const QWidget* widget : widgets)
        fonts.append(widget->font());
    for (int i = 0; i < widgets.size(); ++i) {
        QFont& font = fonts[i];
        if (font.pointSizeF() <= 0)
            continue;
        font.setPointSizeF(font.pointSizeF() * factor);
        widgets[i]->setFont(font);
    }
}

int mainWindowZoom(QWidget* parent)
{
    if (const auto* client = qobject_cast<VelmClient*>(parent))
        return client->zoomPercent();
    const VelmClient* client = gWM ? gWM->getCurrentMainWindow() : nullptr;
    return client ? client->zoomPercent() : 100;
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
    setScalePercent(mainWindowZoom(parent));
}

FramelessFloatDlg::~FramelessFloatDlg() = default;

ISubModuleDlg* FramelessFloatDlg::content() const
{
    return m_content.data();
}

void FramelessFloatDlg::setScalePercent(int percent)
{
    if (percent <= 0 || percent == m_scalePercent)
        return;
    if (m_content)
        scaleFonts(m_content, qreal(percent) / qreal(m_scalePercent));
    m_scalePercent = percent;
}

void FramelessFloatDlg::embedContent(ISubModuleDlg* content)
{
    if (!content)
        return;
    m_content = content;
    setWindowTitle(content->windowTitle());
    layout()->addWidget(content);
    connect(content, &ISubModuleDlg::signal_pushbutton_ok, this, &QDialog::accept);
    connect(content, &ISubModuleDlg::signal_pushbutton_cancel, this, &QDialog::reject);
}
