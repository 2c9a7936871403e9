#include "source/settings.h"

#include <gtest/gtest.h>

namespace {

TEST(Settings, FirstValueStaysIntAndFloatAreApartAndAnyKeyWorks) {
    delete SettingsServer::getInstance();  // start from a fresh, empty store
    SettingsServer* store = SettingsServer::getInstance();
    for (std::int32_t key : {1, -1, 0, INT32_MIN}) {
        store->setInt(key, 640);
        store->setInt(key, 800);
        store->setFloat(key, 1.5f);
        store->setFloat(key, 7.0f);
        EXPECT_EQ(store->getInt(key), 640) << key;
        EXPECT_EQ(store->getFloat(key), 1.5f) << key;
    }
    EXPECT_EQ(store->getInt(9), 0);
    EXPECT_EQ(store->getFloat(9), 0.0f);
    delete store;
    EXPECT_EQ(SettingsServer::getInstance()->getInt(SettingKey::Width), 0) << "a destroyed store comes back empty";
}

}  // namespace
