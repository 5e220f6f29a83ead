#pragma once
#include <QString>
#include <memory>

class ClipboardCryptoService;
class ModelContext;

// The one store file (SQLite) with its schema. Owned by the application value; every other
// holder keeps a std::weak_ptr.
class ModelContainer : public std::enable_shared_from_this<ModelContainer> {
public:
    static constexpr const char* schemaVersion = "1.0.0";

    // Opens or creates the store at path (parent folders created). Returns null with the reason in
    // error when the file cannot be opened, is read-only, is not a store, or has a newer schema
    // version; such a file is never changed or deleted (a read-only one gets no -wal or -shm either). Connections use WAL, foreign keys and a 5 s busy timeout.
    // Times are stored as INTEGER milliseconds since 1970-01-01T00:00:00Z.
    static std::shared_ptr<ModelContainer> open(const QString& path, QString* error);
    // The default location: $XDG_DATA_HOME/Quorvel/Quorvel.store.
    static QString defaultStorePath();

    ~ModelContainer();
    QString path() const { return m_path; }

    // The main thread's context.
    ModelContext& mainContext();
    // A new context with its own connection, for background work on one thread. Null (with the
    // reason in error) when the connection cannot be opened.
    std::unique_ptr<ModelContext> makeContext();
    std::unique_ptr<ModelContext> makeContext(QString* error);

    // The crypto service that opens sealed columns in every context of this store, the main one
    // and those made afterwards. Until it is set, nothing can be sealed or opened.
    void setSealer(ClipboardCryptoService& sealer);

private:
    ModelContainer() = default;
    QString m_path;
    std::unique_ptr<ModelContext> m_main;
    ClipboardCryptoService* m_sealer = nullptr;
};
