// The INI reader (settings and language files) on arbitrary bytes: every
// look-up form, sections and keys taken from the input itself, and a write
// that must keep the rest of the file readable.
#include "fuzz_file.h"

#include "core/app/ini_file.h"
#include "core/app/lang_text.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = FuzzFile(data, size, "fuzz.ini");
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).left(4096);
    // Names as they appear in the input, so that the fuzzer reaches real matches;
    // from a few lines only, since every look-up reads the file anew.
    QStringList sections{"SYSTEM", "MESSAGE", ""};
    QStringList keys{"LANGUAGE", "141", ""};
    for (const QString& line : text.split('\n').mid(0, 4)) {
        const QString t = line.trimmed();
        if (t.startsWith('[') && t.contains(']'))
            sections << t.mid(1, t.indexOf(']') - 1);
        else if (t.contains('='))
            keys << t.left(t.indexOf('='));
    }
    for (const QString& section : sections) {
        for (const QString& key : keys) {
            IniFile::ReadString(path, section, key, "d", 99);
            IniFile::ReadString(path, section, key, QString(), -1);
            IniFile::ReadInt(path, section, key, 7);
            IniFile::HasKey(path, section, key);
        }
        GetLangTextFrom(path, section, 141);
    }
    if (size % 4 == 0) { // a write now and then: it is slower (synced)
        const QString copy = FuzzFile(data, size, "fuzz-write.ini");
        if (IniFile::WriteString(copy, sections.last(), keys.last(), "value") &&
            IniFile::ReadString(copy, sections.last(), keys.last(), QString(), -1) != "value" &&
            !keys.last().trimmed().isEmpty() && !keys.last().contains('=') &&
            !sections.last().contains(']') && keys.last() == keys.last().trimmed() &&
            !keys.last().startsWith(';') && !keys.last().startsWith('[') &&
            sections.last() == sections.last().trimmed() && !keys.last().contains('\r') &&
            !sections.last().contains('\r'))
            std::abort(); // a value just written must read back
    }
    return 0;
}
