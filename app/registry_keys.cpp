#include "registry_keys.h"

#include "platform/registry_store.h"

namespace app {
namespace {

QString localMachine(const QString& key)
{
    return "HKEY_LOCAL_MACHINE\\" + key;
}

} // namespace

QString readRegKey(RegistryStore& store, const QString& key, const QString& name)
{
    QString path = localMachine(key);
    if (!store.keyExists(path))
        store.createKey(path); // a store that cannot be written stays as it is
    return store.value(path, name);
}

int requestTimeoutSeconds(const QString& text)
{
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    return ok && seconds >= 0 ? seconds : kDefaultRequestTimeout;
}

void writeRegKey(RegistryStore& store, const QString& key, const QString& name,
                 const QString& value)
{
    store.setValue(localMachine(key), name, value);
}

} // namespace app
