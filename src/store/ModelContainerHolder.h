#pragma once
#include "platform/Console.h"

#include <QString>
#include <memory>

class ModelContainer;

// The weak hold on the store's container that every service and window manager other than the
// application value keeps. container() prints "<Type>: ModelContainer not configured" when empty.
class ModelContainerHolder {
public:
    explicit ModelContainerHolder(const char* typeName)
        : m_typeName(typeName)
    {
    }
    void setModelContainer(std::weak_ptr<ModelContainer> container) { m_modelContainer = std::move(container); }
    bool hasModelContainer() const { return !m_modelContainer.expired(); }

protected:
    std::shared_ptr<ModelContainer> container() const
    {
        auto strong = m_modelContainer.lock();
        if (!strong)
            Console::log(QString::fromLatin1(m_typeName) + QStringLiteral(": ModelContainer not configured"));
        return strong;
    }

private:
    const char* m_typeName;
    std::weak_ptr<ModelContainer> m_modelContainer;
};
