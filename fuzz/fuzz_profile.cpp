// The settings file reader and writer on arbitrary file contents: no crash, no
// sanitizer report, and a written setting reads back as written, with a second
// identical write changing nothing.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "ProfileFile.h"

namespace {

const QString& ScratchFile()
{
    static const QString Name = [] {
        const char* Folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        return QDir(QString::fromLocal8Bit(Folder ? Folder : "/tmp"))
            .filePath(QStringLiteral("velmora-fuzz-profile-%1.ini").arg(getpid()));
    }();
    return Name;
}

void Store(const QByteArray& Bytes)
{
    QFile File(ScratchFile());
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate) || File.write(Bytes) != Bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ScratchFile()));
        std::abort();
    }
}

void Check(bool Condition, const char* What)
{
    if (Condition) return;
    std::fprintf(stderr, "fuzz_profile: %s\n", What);
    std::abort();
}

struct TCleanUp {
    ~TCleanUp() { QFile::remove(ScratchFile()); }
} CleanUp;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    const QByteArray Bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
    const QString Section = QStringLiteral("USER"), Key = QStringLiteral("AutoStart");

    Store(Bytes);
    const QString Before = ProfileReadString(ScratchFile(), Section, Key, QStringLiteral("<none>"));
    (void)ProfileTextIsTrue(Before);
    (void)ProfileReadString(ScratchFile(), QString(), QString(), QString());

    for (const QString& Value : {QStringLiteral("1"), QStringLiteral("0")}) {
        const QByteArray Written = ProfileWriteText(Bytes, Section, Key, Value);
        Check(ProfileWriteText(Written, Section, Key, Value) == Written, "a second identical write changed the file");
        Store(Written);
        Check(ProfileReadString(ScratchFile(), Section, Key, QStringLiteral("<none>")) == Value,
              "a written setting does not read back");
    }
    return 0;
}
