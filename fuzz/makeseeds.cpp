// Writes the seed corpora of the fuzz targets:
//   vestrion-fuzz-seeds OUT STARTER.xml [PACKED.vdb...]
// OUT/file gets whole catalogue files (the packed ones as they are, and small
// documents packed here), OUT/inflate the compressed payloads alone.

#include "catalogue/vsvdbformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstdio>

namespace {
bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "vestrion-fuzz-seeds: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool readAll(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vestrion-fuzz-seeds: cannot read %s\n", qPrintable(path));
        return false;
    }
    *bytes = file.readAll();
    return true;
}

// Small documents that reach the corners of the reader: each is one seed.
QList<QPair<QString, QByteArray>> documents()
{
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    QByteArray nested = declaration + "<catalogue>";
    for (int i = 0; i < 40; ++i)
        nested += "<item code=\"E" + QByteArray::number(100 + i) + "\">";
    nested += "</catalogue>";

    QList<QPair<QString, QByteArray>> list = {
        {"single", declaration + "<catalogue><item code=\"E100\" names=\"a:b\" safety=\"1:x\"/></catalogue>"},
        {"header", "<c><item type=\"header\" code=\"group\"/><item code=\"E1\" group=\"group\"/></c>"},
        {"empty-item", "<c><item/></c>"},
        {"nested-3",
         "<c><item code=\"A\"><item code=\"A.1\"><item code=\"A.1.1\"/></item></item><item code=\"B\"/></c>"},
        {"nested-40", nested},
        {"entities", "<?xml version=\"1.0\"?>\n<!DOCTYPE c [<!ENTITY e \"entity text\"><!ENTITY f \"&e;&e;\">"
                     "<!ATTLIST item status CDATA \"eu:allowed\">]>\n"
                     "<c><item code=\"E&#49;00\" names=\"&f;:&amp;&lt;&gt;&quot;&apos;\"/></c>"},
        {"namespaces", "<x:c xmlns:x=\"urn:x\" xmlns:y=\"urn:y\"><x:item y:code=\"E1\" code=\"E2\"/>"
                       "<Item code=\"no\"/><items/></x:c>"},
        {"markup", "<c><!-- <item code=\"comment\"/> --><?pi data?><![CDATA[<item code=\"cdata\"/>]]>"
                   "text<item code=\"E1\" names=\"&lt;b&gt;bold&lt;/b&gt;&lt;br&gt;x\"/></c>"},
        {"broken-off", "<c><item code=\"E1\"/><item code=\"E2\"/><item code=\"E3\""},
        {"latin1",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><c><item code=\"E1\" names=\"caf\xe9\"/></c>"},
        {"whitespace", "<c>\r\n\t<item\tcode = 'E1'\r\n names='a\tb'/>\r\n</c>\r\n"},
    };
    // UTF-16 with a byte order mark, little-endian.
    QByteArray utf16("\xff\xfe", 2);
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>"
                                        "<c><item code=\"E1\" names=\"\u0436\"/></c>");
    for (const QChar c : text) {
        utf16 += char(c.unicode() & 0xff);
        utf16 += char(c.unicode() >> 8);
    }
    list.append({"utf16", utf16});
    return list;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: vestrion-fuzz-seeds OUT STARTER.xml [PACKED.vdb...]\n");
        return 2;
    }
    const QDir out(arguments.at(1));
    if (!out.mkpath(QStringLiteral("file")) || !out.mkpath(QStringLiteral("inflate"))) {
        std::fprintf(stderr, "vestrion-fuzz-seeds: cannot make %s\n", qPrintable(out.path()));
        return 1;
    }
    const QString files = out.filePath(QStringLiteral("file/"));
    const QString payloads = out.filePath(QStringLiteral("inflate/"));

    QList<QPair<QString, QByteArray>> list = documents();
    QByteArray starter;
    if (!readAll(arguments.at(2), &starter))
        return 1;
    list.prepend({QStringLiteral("starter"), starter});

    bool ok = true;
    for (const auto &document : qAsConst(list)) {
        const QByteArray packed = vsVdbFormat::pack(document.second);
        ok = write(files + document.first + QStringLiteral(".vdb"), packed) && ok;
        ok = write(payloads + document.first + QStringLiteral(".z"), vsVdbFormat::payloadOf(packed)) && ok;
    }
    // The real catalogue as this build packed it.
    for (int i = 3; i < arguments.size(); ++i) {
        QByteArray packed;
        if (!readAll(arguments.at(i), &packed))
            return 1;
        const QString name = QFileInfo(arguments.at(i)).completeBaseName();
        ok = write(files + name + QStringLiteral(".vdb"), packed) && ok;
        ok = write(payloads + name + QStringLiteral(".z"), vsVdbFormat::payloadOf(packed)) && ok;
    }
    // Size headers that lie, over a short stream.
    QByteArray lying = qCompress(QByteArray("<c><item code=\"E1\"/></c>"));
    for (const quint32 header : {0u, 1u, 1000u, 0xFFFFFFFFu}) {
        qToBigEndian(header, lying.data());
        ok = write(payloads + QStringLiteral("header-%1.z").arg(header), lying) && ok;
    }
    return ok ? 0 : 1;
}
