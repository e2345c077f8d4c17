// Fuzzes the web remote's request handling: any parameters, in any state.
// The input's first byte chooses the machine state; the rest is a query
// string ("command=send&filename=O1%2500"), split and decoded as the HTTP
// layer would. The session carries over from one input to the next, so
// sequences of requests are explored too.
#include "remote/remote_request.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{

struct Fixture {
    Fixture()
    {
        QDir root(dir.path());
        root.mkpath(QStringLiteral("nc/sub"));
        for (const char *name : {"nc/O1000.nc", "nc/O2000.NC", "nc/sub/big.nc"}) {
            QFile f(root.filePath(QString::fromLatin1(name)));
            if (f.open(QIODevice::WriteOnly))
                f.write(QByteArray(name[7] == 'b' ? 60000 : 100, 'X'));
        }
        env.roots = [this] { return QStringList{QStringLiteral("/"), dir.path() + u'/'}; };
    }
    QTemporaryDir dir;
    dnc::RemoteEnvironment env;
    dnc::RemoteSession session;
};

dnc::RemoteSnapshot snapshot_for(std::uint8_t state, const QString &folder)
{
    dnc::RemoteSnapshot s;
    s.machine_names = {QStringLiteral("Mill"), QStringLiteral("Lathe"), QStringLiteral("mill")};
    s.multi_machine = state & 1;
    s.selected_machine = (state >> 1) % 4; // 3 is out of range on purpose
    const int records = (state & 0x40) ? 0 : (s.multi_machine ? 3 : 1);
    for (int i = 0; i < records; ++i) {
        dnc::RemoteMachineView m;
        m.status_text = QStringLiteral("COM1 Ready");
        m.default_extension = (state & 8) ? QStringLiteral(".nc") : QStringLiteral(".*");
        m.default_read_directory = folder;
        m.default_save_directory = (state & 0x10) ? folder : QString();
        m.filter_files = state & 0x20;
        m.sending = state & 0x80;
        m.file_type = i;
        s.records.push_back(m);
    }
    s.file_list_folder = folder;
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    static Fixture fixture;
    if (size == 0)
        return 0;
    const QString home = fixture.dir.path() + QStringLiteral("/nc");
    // Keep the browsing inside the test folder so runs stay fast.
    if (fixture.session.folder != QStringLiteral("\\") &&
        !fixture.session.folder.startsWith(fixture.dir.path()))
        fixture.session.set_folder(home);

    dnc::RemoteParams params;
    const std::string_view query(reinterpret_cast<const char *>(data + 1), size - 1);
    size_t start = 0;
    while (start <= query.size() && !query.empty()) {
        size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view pair = query.substr(start, end - start);
        const size_t eq = pair.find('=');
        params.add(dnc::percent_decode(pair.substr(0, eq)),
                   eq == std::string_view::npos ? std::string()
                                                : dnc::percent_decode(pair.substr(eq + 1)));
        start = end + 1;
    }
    const dnc::RemoteOutcome out = dnc::handle_remote_request(params, snapshot_for(data[0], home),
                                                              fixture.session, fixture.env);

    // Whatever came in, the reply is text and the actions name a record.
    if (QString::fromUtf8(out.reply).toUtf8() != out.reply)
        std::abort();
    for (const dnc::RemoteAction &a : out.actions) {
        if (a.index < 0 || a.index > 3)
            std::abort();
    }
    if (!fixture.session.folder.isEmpty() && fixture.session.folder != QStringLiteral("\\") &&
        !fixture.session.folder.endsWith(u'/'))
        std::abort();
    return 0;
}
