// The graphics factory and the Surface handle. The Window's open and update
// without a display are checked end to end.
#include "display/directdrawplatform.h"
#include "display/graphics.h"
#include "source/exceptionserver.h"
#include "source/settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

// Each test starts from an empty settings store and no platform, since both
// keep the first values they saw.
class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        delete SettingsServer::getInstance();
        try {
            delete GraphicsFactory::getPlatform();
        } catch (ExceptionSpace::Exception* e) {
            delete e;  // nothing was created
        }
        delete SettingsServer::getInstance();
    }

    // A fresh settings store holding these values.
    static void store(std::int32_t width, std::int32_t height, std::int32_t bits, std::int32_t select1 = 1,
                      std::int32_t select2 = 1) {
        delete SettingsServer::getInstance();
        SettingsServer* s = SettingsServer::getInstance();
        s->setInt(SettingKey::Width, width);
        s->setInt(SettingKey::Height, height);
        s->setInt(SettingKey::BitsPerPixel, bits);
        s->setInt(SettingKey::PlatformSelect1, select1);
        s->setInt(SettingKey::PlatformSelect2, select2);
    }
};

TEST_F(GraphicsTest, OnlyTheSelectorPairOneOneIsAPlatformAndItIsKeptUntilDestroyed) {
    // Twice (1, 2): nothing was recorded, so the keys are checked again.
    for (auto [select1, select2] : {std::pair{1, 2}, {1, 2}, {2, 1}, {0, 0}}) {
        store(640, 480, 32, select1, select2);
        try {
            Window window("Quel Varn Ossa");
            ADD_FAILURE() << "nothing thrown for " << select1 << ", " << select2;
        } catch (ExceptionSpace::Exception* e) {
            std::unique_ptr<ExceptionSpace::Exception> owned(e);
            EXPECT_EQ(e->message, "Invalid platform!");
        }
    }
    store(640, 480, 32);
    GraphicsPlatform* platform = GraphicsFactory::getPlatform();
    ASSERT_NE(dynamic_cast<DirectDrawPlatform*>(platform), nullptr);
    store(640, 480, 32, 7, 7);  // once made, it no longer depends on the settings
    EXPECT_EQ(GraphicsFactory::getPlatform(), platform);
    delete platform;
    EXPECT_THROW(GraphicsFactory::getPlatform(), ExceptionSpace::Exception*);
}

TEST_F(GraphicsTest, SurfaceIsAZeroedWritableFramebufferOfTheStoredSize) {
    store(640, 480, 32);
    Surface surface;
    const auto* bytes = static_cast<const std::uint8_t*>(surface.getPixels());
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 640 * 480 * 4), std::vector<std::uint8_t>(640 * 480 * 4, 0));
    // The whole block is writable (a sanitizer build catches an overrun).
    static_cast<std::uint32_t*>(surface.getPixels())[640 * 480 - 1] = 0x00FFFFFF;

    store(64, 8, 12);  // 12 / 8 = 1 byte per pixel
    static_cast<std::uint8_t*>(Surface().getPixels())[64 * 8 - 1] = 1;
    store(-640, 480, 32);  // an empty block, not a crash
    EXPECT_NE(Surface().getPixels(), nullptr);
}

}  // namespace
