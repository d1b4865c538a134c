#include "connection/RemoteCommand.h"

#include "Messages.h"
#include "StreamError.h"
#include "connection/ConnectionConfiguration.h"

namespace vistrel::RemoteCommand {

std::string quote(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string script(std::string_view destination, std::uint16_t port) {
    std::string url = "udp://";
    url += destination;
    url += ':';
    url += std::to_string(port);
    url += "?pkt_size=1316"; // seven 188-byte transport-stream packets

    // The encoder always stops before the script exits: on STOP, on end of
    // input, on a missed keep-alive deadline and on a hang-up or signal.
    std::string text = R"SCRIPT(export LC_ALL=C
child=''
cleanup() {
  trap '' HUP INT TERM
  if [ -n "$child" ]; then
    kill -INT "$child" 2>/dev/null || true
    for ((i=0; i<40; i++)); do
      kill -0 "$child" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$child" 2>/dev/null; then
      kill -TERM "$child" 2>/dev/null || true
      sleep 1
      kill -KILL "$child" 2>/dev/null || true
    fi
    wait "$child" 2>/dev/null || true
  fi
  printf 'VL_STOPPED\n'
}
trap cleanup EXIT
trap 'exit 0' HUP INT TERM
command -v ffmpeg >/dev/null 2>&1 || { echo )SCRIPT";
    // The refusals are the sentences the session shows: SSH hands the
    // script's last error line on.
    text += quote(Messages::remoteNoFfmpeg);
    text += R"SCRIPT( >&2; exit 1; }
[ -r /dev/video99 ] || { echo )SCRIPT";
    text += quote(Messages::remoteNoDevice);
    text += R"SCRIPT( >&2; exit 1; }
ffmpeg -nostdin \
  -f v4l2 -framerate 20 -thread_queue_size 1024 -i /dev/video99 \
  -map 0:v -an -c:v libx264 -preset ultrafast -tune zerolatency \
  -pix_fmt yuv420p -r 30 -g 30 -keyint_min 30 -sc_threshold 0 \
  -x264-params repeat-headers=1:aud=1 \
  -loglevel error -hide_banner -flush_packets 1 -muxdelay 0 \
  -f mpegts )SCRIPT";
    text += quote(url);
    text += R"SCRIPT( &
child=$!
printf 'VL_STARTED\n'
deadline=$((SECONDS + 15))
while kill -0 "$child" 2>/dev/null; do
  if IFS= read -r -t 2 message; then
    [ "$message" = STOP ] && exit 0
    [ "$message" = PING ] && deadline=$((SECONDS + 15))
  else
    result=$?
    [ "$result" -le 128 ] && exit 0
  fi
  [ "$SECONDS" -ge "$deadline" ] && exit 0
done
wait "$child"
result=$?
child=''
[ "$result" -ne 0 ] || result=1
exit "$result")SCRIPT";
    return text;
}

namespace {

// OpenSSH splits an option value at unquoted whitespace, so a path with a
// blank would become several files. Inside double quotes its tokenizer takes
// a backslash as an escape for the next character. It then expands %-tokens
// ("%%" is a plain "%") and ${VARIABLE}s, which have no escape at all.
std::string knownHostsOption(std::string_view path) {
    if (path.find("${") != std::string_view::npos) {
        throw StreamError(Messages::knownHostsPathRefused(path));
    }
    std::string value = "UserKnownHostsFile=\"";
    for (const char c : path) {
        if (c == '"' || c == '\\') {
            value += '\\';
        } else if (c == '%') {
            value += '%';
        }
        value += c;
    }
    value += '"';
    return value;
}

} // namespace

// What this relies on from the OpenSSH client: each line written to its
// standard input reaches the script, and closing it gives the script end of
// input; the script's lines arrive in order on standard output; its own
// failures arrive on standard error, where "REMOTE HOST IDENTIFICATION HAS
// CHANGED", "Permission denied" and "Connection refused" mark a changed host
// key, a refused login and a refused connection; it exits when the remote
// command ends or the connection fails, and SIGTERM/SIGKILL end it; every
// password, passphrase or unknown-host question goes to SSH_ASKPASS, whose
// one output line is the answer and whose non-zero exit is a refusal; an
// accepted host key is kept in the known-hosts file named here, and a changed
// one is refused.
std::vector<std::string> sshArguments(const ConnectionConfiguration& configuration,
                                      std::string_view destination, std::string_view knownHosts) {
    return {
        "-F",
        "/dev/null",
        "-T",
        "-4",
        "-o",
        "ConnectTimeout=10",
        "-o",
        "ConnectionAttempts=1",
        "-o",
        "ServerAliveInterval=5",
        "-o",
        "ServerAliveCountMax=3",
        "-o",
        "StrictHostKeyChecking=ask",
        "-o",
        knownHostsOption(knownHosts),
        "-o",
        "NumberOfPasswordPrompts=3",
        "-o",
        "ForwardAgent=no",
        "-o",
        "ClearAllForwardings=yes",
        "-o",
        "ControlMaster=no",
        "-o",
        "ControlPath=none",
        "-o",
        "LogLevel=ERROR",
        "-l",
        configuration.username(),
        configuration.host(),
        "bash -c " + quote(script(destination, configuration.port())),
    };
}

} // namespace vistrel::RemoteCommand
