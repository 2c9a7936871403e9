// The process-wide settings store: ints and floats under small int keys.
// The first value stored under a key stays; later setInt/setFloat calls on
// the same key change nothing.
#pragma once

#include <cstdint>
#include <map>

enum class SettingKey : std::int32_t {
    Width = 1,
    Height = 2,
    BitsPerPixel = 3,
    PlatformSelect1 = 4,
    PlatformSelect2 = 5,
};

class SettingsServer {
public:
    static SettingsServer* getInstance();

    virtual ~SettingsServer();
    virtual void setInt(std::int32_t key, std::int32_t value);
    virtual std::int32_t getInt(std::int32_t key);
    virtual void setFloat(std::int32_t key, float value);
    virtual float getFloat(std::int32_t key);

    void setInt(SettingKey key, std::int32_t value) { setInt(std::int32_t(key), value); }
    std::int32_t getInt(SettingKey key) { return getInt(std::int32_t(key)); }

private:
    SettingsServer() = default;
    std::map<std::int32_t, std::int32_t> ints;
    std::map<std::int32_t, float> floats;
};
