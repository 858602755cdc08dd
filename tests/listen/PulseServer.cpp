#include "PulseServer.h"

#include "WaitUntil.h"

#include <QFile>
#include <QProcess>

#include <chrono>

PulseServer::PulseServer(const QString& directory)
    : directory(directory)
{
    QFile script(directory + "/server.pa");
    script.open(QIODevice::WriteOnly);
    script.write(QString("load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n"
                         "load-module module-null-sink sink_name=first\n"
                         "load-module module-null-sink sink_name=second\n"
                         "set-default-sink first\n")
                     .arg(socket())
                     .toUtf8());
}

PulseServer::~PulseServer()
{
    stop_playing();
    kill();
}

bool PulseServer::start()
{
    kill();
    QFile::remove(socket());
    ChildProcess::Options options;
    options.path = "/usr/bin/pulseaudio";
    const std::string runtime = directory.toStdString();
    options.arguments = {"pulseaudio",        "-n", "--daemonize=no",      "--exit-idle-time=-1",
                         "--log-level=error", "-F", runtime + "/server.pa"};
    for (const char* name : {"XDG_RUNTIME_DIR", "HOME", "PULSE_RUNTIME_PATH", "XDG_CONFIG_HOME"}) {
        options.environment.push_back(std::string(name) + "=" + runtime);
    }
    options.log_path = runtime + "/server.log";
    server = std::make_unique<ChildProcess>(options);
    return wait_until([&] { return server->running() && control({"info"}) == 0; }, std::chrono::seconds(15));
}

void PulseServer::kill()
{
    // Without grace: the capture must live through a server that vanishes.
    if (server) {
        server->stop(std::chrono::milliseconds(0));
        server.reset();
    }
}

int PulseServer::control(const QStringList& arguments, QString* out) const
{
    QProcess pactl;
    pactl.start("pactl", QStringList{"--server=unix:" + socket()} + arguments);
    pactl.waitForFinished(10000);
    if (out) {
        *out = QString::fromUtf8(pactl.readAllStandardOutput());
    }
    return pactl.exitStatus() == QProcess::NormalExit ? pactl.exitCode() : -1;
}

QString PulseServer::recorded_source() const
{
    QString outputs;
    QString sources;
    control({"list", "short", "source-outputs"}, &outputs);
    control({"list", "short", "sources"}, &sources);
    const QStringList output = outputs.split('\n').value(0).split('\t');
    if (output.size() < 2) {
        return {};
    }
    for (const QString& line : sources.split('\n')) {
        const QStringList source = line.split('\t');
        if (source.size() > 1 && source[0] == output[1]) {
            return source[1];
        }
    }
    return {};
}

void PulseServer::play(const QString& file)
{
    stop_playing();
    ChildProcess::Options options;
    options.path = "/usr/bin/paplay";
    options.arguments = {"paplay", ("--server=unix:" + socket()).toStdString(), file.toStdString()};
    player = std::make_unique<ChildProcess>(options);
}

void PulseServer::stop_playing()
{
    player.reset();
}
