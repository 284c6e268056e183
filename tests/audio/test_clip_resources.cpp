// The built-in clips as the pads open them: every resource name is there, stored uncompressed
// (so its bytes go to the player as they are), and each is a distinct, decodable MP3.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QResource>
#include <QSet>

#include "Mp3Decoder.h"

TEST(ClipResources, EveryBuiltInClipIsAnUncompressedDecodableMp3) {
    const char* names[] = {"DJ_DHX", "DJ_XHX",  "DJ_ZS",  "DJ_QZ", "DJ_BS",
                           "DJ_QX",  "DJ_DEG",  "DJ_DGZ", "DJ_GG", "DJ_GQ",
                           "DJ_JQ",  "DJ_WYFG", "DJ_HQ",  "DJ_KQ", "DJ_LQ"};
    QSet<QByteArray> digests;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        QResource resource(QStringLiteral(":/clips/%1.mp3").arg(QLatin1String(name)));
        ASSERT_TRUE(resource.isValid());
        EXPECT_EQ(resource.compressionAlgorithm(), QResource::NoCompression);
        platform::audio::CMp3Decoder decoder;
        std::string error;
        ASSERT_TRUE(
            decoder.OpenMemory(resource.data(), static_cast<size_t>(resource.size()), error))
            << error;
        const double seconds = static_cast<double>(decoder.LengthFrames()) / decoder.SampleRate();
        EXPECT_GT(seconds, 0.3);
        EXPECT_LT(seconds, 10.0);
        digests.insert(QCryptographicHash::hash(
            QByteArray::fromRawData(reinterpret_cast<const char*>(resource.data()),
                                    static_cast<int>(resource.size())),
            QCryptographicHash::Sha1));
    }
    EXPECT_EQ(digests.size(), 15);
}
