#pragma once

#include <QString>

class RegistryStore;

// Reading and writing the program's settings under the local-machine root
// of the registry store.
namespace app {

// The key that holds the proxy settings.
inline constexpr const char* kPreferencesKey = "Software\\Tallmoor\\quorvane\\";

// Further values under the same key: the site's IndexNow key, and how many
// more times a request that the server asked to repeat is tried again.
inline constexpr const char* kIndexNowKeyValue = "IndexNowKey";
inline constexpr const char* kRetriesValue = "Retries";
// The value that holds the request time limit in seconds ("0": none).
inline constexpr const char* kRequestTimeoutValue = "RequestTimeout";
inline constexpr int kDefaultRequestTimeout = 60;

// The time limit a stored value gives: a whole number of seconds, 0 for
// none; kDefaultRequestTimeout when it is missing or not such a number.
int requestTimeoutSeconds(const QString& text);

// The string value name under HKEY_LOCAL_MACHINE\key. Reading creates a
// missing key (empty); a missing value, or a store that cannot be read,
// gives the empty string.
QString readRegKey(RegistryStore& store, const QString& key, const QString& name);

// Stores value as name under HKEY_LOCAL_MACHINE\key, creating the key when
// needed. A failure to write is ignored: the setting then simply lasts for
// this run only.
void writeRegKey(RegistryStore& store, const QString& key, const QString& name,
                 const QString& value);

} // namespace app
