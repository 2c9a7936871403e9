// The graphics factory and the Window/Surface handles.
#include "display/directdrawplatform.h"
#include "display/graphics.h"
#include "source/exceptionserver.h"
#include "source/settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// Each test starts from an empty settings store and no platform, since both
// keep the first values they saw.
class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset() {
        delete SettingsServer::getInstance();
        try {
            delete GraphicsFactory::getPlatform();
        } catch (ExceptionSpace::Exception* e) {
            delete e;  // nothing was created
        }
        delete SettingsServer::getInstance();
    }

    static void store(std::int32_t width, std::int32_t height, std::int32_t bits, std::int32_t select1,
                      std::int32_t select2) {
        SettingsServer* s = SettingsServer::getInstance();
        s->setInt(SettingKey::Width, width);
        s->setInt(SettingKey::Height, height);
        s->setInt(SettingKey::BitsPerPixel, bits);
        s->setInt(SettingKey::PlatformSelect1, select1);
        s->setInt(SettingKey::PlatformSelect2, select2);
    }

    static std::string invalidPlatformMessage(std::int32_t select1, std::int32_t select2) {
        delete SettingsServer::getInstance();
        store(640, 480, 32, select1, select2);
        try {
            Window window("Quel Varn Ossa");
        } catch (ExceptionSpace::Exception* e) {
            std::unique_ptr<ExceptionSpace::Exception> owned(e);
            EXPECT_NE(e->file.find("graphics.cpp"), std::string::npos) << e->file;
            EXPECT_GT(e->line, 0);
            return e->message;
        }
        return "(nothing thrown)";
    }
};

TEST_F(GraphicsTest, OnlyTheSelectorPairOneOneIsAPlatform) {
    EXPECT_EQ(invalidPlatformMessage(1, 2), "Invalid platform!");
    // Nothing was recorded: the next request checks the keys again.
    EXPECT_EQ(invalidPlatformMessage(1, 2), "Invalid platform!");
    EXPECT_EQ(invalidPlatformMessage(2, 1), "Invalid platform!");
    EXPECT_EQ(invalidPlatformMessage(0, 0), "Invalid platform!");

    delete SettingsServer::getInstance();
    store(640, 480, 32, 1, 1);
    GraphicsPlatform* platform = GraphicsFactory::getPlatform();
    ASSERT_NE(dynamic_cast<DirectDrawPlatform*>(platform), nullptr);
    EXPECT_EQ(GraphicsFactory::getPlatform(), platform);
}

TEST_F(GraphicsTest, PlatformIsRecordedUntilDestroyed) {
    store(640, 480, 32, 1, 1);
    GraphicsPlatform* first = GraphicsFactory::getPlatform();
    // Once made, the platform no longer depends on the settings.
    delete SettingsServer::getInstance();
    store(640, 480, 32, 7, 7);
    EXPECT_EQ(GraphicsFactory::getPlatform(), first);
    delete first;
    EXPECT_THROW(GraphicsFactory::getPlatform(), ExceptionSpace::Exception*);
}

TEST_F(GraphicsTest, SurfaceIsAZeroedFramebufferOfTheStoredSize) {
    store(640, 480, 32, 1, 1);
    Surface surface;
    EXPECT_EQ(surface.getLeft(), 0);
    EXPECT_EQ(surface.getTop(), 0);
    EXPECT_EQ(surface.getRight(), 640);
    EXPECT_EQ(surface.getBottom(), 480);
    EXPECT_EQ(surface.getBitsPerPixel(), 32);
    const auto* bytes = static_cast<const std::uint8_t*>(surface.getPixels());
    ASSERT_NE(bytes, nullptr);
    std::vector<std::uint8_t> zeros(640 * 480 * 4, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + zeros.size()), zeros);
    // The whole block is writable (a sanitizer build catches an overrun).
    static_cast<std::uint32_t*>(surface.getPixels())[640 * 480 - 1] = 0x00FFFFFF;
}

TEST_F(GraphicsTest, SurfaceBytesPerPixelIsTheTruncatedQuotient) {
    store(64, 8, 12, 1, 1);
    Surface surface;
    EXPECT_EQ(surface.getBitsPerPixel(), 12);
    auto* bytes = static_cast<std::uint8_t*>(surface.getPixels());
    bytes[64 * 8 - 1] = 1;  // 12 / 8 = 1 byte per pixel
}

TEST_F(GraphicsTest, NegativeGeometryGivesAnEmptyBlockNotACrash) {
    store(-640, 480, 32, 1, 1);
    Surface surface;
    EXPECT_NE(surface.getPixels(), nullptr);
    EXPECT_EQ(surface.getRight(), -640);
}

TEST_F(GraphicsTest, WindowNeverAsksToQuitAndUpdatesWithoutADisplay) {
    store(640, 480, 32, 1, 1);
    Window window("Quel Varn Ossa");
    EXPECT_FALSE(window.shouldQuit());
    // No surface attached: nothing to present, and no crash.
    EXPECT_EQ(window.update(), 0);
    window.close();
    window.close();
    EXPECT_FALSE(window.shouldQuit());
}

}  // namespace
