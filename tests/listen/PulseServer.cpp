#include "PulseServer.h"

#include "WaitUntil.h"

#include <QFile>
#include <QProcessEnvironment>

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
    QFile::remove(socket());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "HOME", "PULSE_RUNTIME_PATH", "XDG_CONFIG_HOME"}) {
        environment.insert(name, directory);
    }
    server.setProcessEnvironment(environment);
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--log-level=error", "-F",
                                directory + "/server.pa"});
    return server.waitForStarted(10000) &&
           wait_until([&] { return control({"info"}) == 0; }, std::chrono::seconds(15));
}

void PulseServer::kill()
{
    if (server.state() != QProcess::NotRunning) {
        server.kill();
        server.waitForFinished(10000);
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
    player.start("paplay", {"--server=unix:" + socket(), file});
}

void PulseServer::stop_playing()
{
    if (player.state() != QProcess::NotRunning) {
        player.kill();
        player.waitForFinished(10000);
    }
}
