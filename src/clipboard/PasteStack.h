#pragma once
#include "store/ClipItem.h"
#include "store/ModelContainerHolder.h"

#include <QList>
#include <QObject>

class PasteService;

// History entries queued to be pasted one after another into the remembered target. The stack
// keeps entry identifiers, not the entries: an entry deleted or pruned meanwhile is skipped.
// Lives only in memory. Main thread only.
class PasteStack : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    enum class PasteMode {
        fifo, // the oldest (first) entry goes next
        lifo, // the newest (last) entry goes next
    };
    Q_ENUM(PasteMode)

    explicit PasteStack(PasteService& pasteService);

    // Identifiers (ClipItem::persistentID) of the queued entries, oldest first.
    const QList<qint64>& items() const { return m_items; }
    void setItems(const QList<qint64>& items);
    PasteMode mode() const { return m_mode; }
    void setMode(PasteMode mode);

    // Takes the next entry off the stack and pastes it with all its representations. Entries that
    // no longer exist are dropped on the way. Returns the pasted entry; null when the stack holds
    // no existing entry, when there is no store, or when nothing of the taken entry could be read
    // (it is still taken off the stack).
    ClipItemPtr pasteNext();

signals:
    void itemsChanged();
    void modeChanged();

private:
    PasteService& m_pasteService;
    QList<qint64> m_items;
    PasteMode m_mode = PasteMode::fifo;
};
