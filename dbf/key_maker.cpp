#include "dbf/key_maker.h"

#include "base/ascii.h"

#include <cstdlib>
#include <cstring>

namespace dbf {

const FieldInfo* KeyRecord::find(const std::string& name) const
{
    for (const FieldInfo& f : m_fields) {
        // Stored field names are upper case.
        if (base::equalsIgnoreCase(name, f.name))
            return &f;
    }
    return nullptr;
}

std::string KeyRecord::field(const std::string& name) const
{
    const FieldInfo* f = find(name);
    if (!f)
        return {};
    return std::string(reinterpret_cast<const char*>(m_image + f->offset), size_t(f->length));
}

double KeyRecord::number(const std::string& name) const
{
    return std::strtod(field(name).c_str(), nullptr);
}

std::string keyMakerKey(const ExprValue& value, int keyLength, bool soundexKey, bool descending)
{
    std::string key;
    if (value.type == 'C') {
        key = soundexKey ? soundex(value.text) : value.text;
        key.resize(size_t(keyLength), ' ');
        if (descending)
            for (char& ch : key)
                ch = char(0xFF - static_cast<unsigned char>(ch));
        return key;
    }
    double number = descending ? -value.number : value.number;
    if (number == 0)
        number = 0; // no negative zero in the file
    key.assign(8, '\0');
    std::memcpy(key.data(), &number, 8);
    return key;
}

} // namespace dbf
