#include "clipboard/PasteStack.h"

#include "clipboard/PasteService.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"

PasteStack::PasteStack(PasteService& pasteService)
    : ModelContainerHolder("PasteStack")
    , m_pasteService(pasteService)
{
}

void PasteStack::setItems(const QList<qint64>& items)
{
    if (m_items == items)
        return;
    m_items = items;
    emit itemsChanged();
}

void PasteStack::setMode(PasteMode mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    emit modeChanged();
}

ClipItemPtr PasteStack::pasteNext()
{
    if (m_items.isEmpty())
        return nullptr;
    const std::shared_ptr<ModelContainer> store = container();
    if (!store)
        return nullptr;

    ClipItemPtr item;
    while (!item && !m_items.isEmpty()) {
        const qint64 id = m_mode == PasteMode::fifo ? m_items.takeFirst() : m_items.takeLast();
        item = store->mainContext().clipItem(id);
        if (!item)
            Console::log(QStringLiteral("PasteStack: entry %1 no longer exists; skipped").arg(id));
    }
    emit itemsChanged();
    if (!item)
        return nullptr;
    return m_pasteService.paste(item, false) ? item : nullptr;
}
