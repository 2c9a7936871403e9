#include "source/settings.h"

#include <gtest/gtest.h>

namespace {

// Each test starts from a fresh, empty store.
SettingsServer* freshStore() {
    delete SettingsServer::getInstance();
    return SettingsServer::getInstance();
}

TEST(Settings, FirstValueStoredUnderAKeyStays) {
    SettingsServer* store = freshStore();
    store->setInt(SettingKey::Width, 640);
    store->setInt(SettingKey::Width, 800);
    EXPECT_EQ(store->getInt(SettingKey::Width), 640);
    store->setFloat(9, 1.5f);
    store->setFloat(9, 7.0f);
    EXPECT_EQ(store->getFloat(9), 1.5f);
}

TEST(Settings, IntAndFloatUnderOneKeyAreIndependent) {
    SettingsServer* store = freshStore();
    store->setInt(7, 3);
    store->setFloat(7, 2.5f);
    EXPECT_EQ(store->getInt(7), 3);
    EXPECT_EQ(store->getFloat(7), 2.5f);
}

TEST(Settings, NegativeKeysAreOrdinaryAndUnknownKeysReadZero) {
    SettingsServer* store = freshStore();
    store->setInt(-1, 11);
    store->setInt(0, 22);
    store->setInt(INT32_MIN, 33);
    EXPECT_EQ(store->getInt(-1), 11);
    EXPECT_EQ(store->getInt(0), 22);
    EXPECT_EQ(store->getInt(INT32_MIN), 33);
    EXPECT_EQ(store->getInt(1), 0);
    EXPECT_EQ(store->getFloat(-1), 0.0f);
}

TEST(Settings, OneStoreUntilItIsDestroyed) {
    SettingsServer* store = freshStore();
    EXPECT_EQ(SettingsServer::getInstance(), store);
    store->setInt(1, 640);
    delete store;
    SettingsServer* again = SettingsServer::getInstance();
    EXPECT_EQ(again->getInt(1), 0) << "a destroyed store must come back empty";
    again->setInt(1, 800);
    EXPECT_EQ(again->getInt(1), 800);
    EXPECT_EQ(SettingsServer::getInstance(), again);
}

}  // namespace
