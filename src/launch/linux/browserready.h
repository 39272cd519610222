#pragma once

#include <QtGlobal>

#include <optional>

namespace zd {

/// Firefox takes addresses once its remote-control name
/// ("org.mozilla.<program>.<profile>") is on the session bus; nullopt
/// without a session bus. \a pid: owned by that process; 0: by any.
std::optional<bool> firefoxRemoteReady(qint64 pid);

/// Chromium (and Chrome) take addresses once their profile's
/// "SingletonSocket" listens. \a pid: a socket of that process; 0: any.
bool chromiumSingletonReady(qint64 pid);

} // namespace zd
