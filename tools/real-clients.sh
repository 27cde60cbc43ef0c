#!/usr/bin/env bash
# Drives this machine's real KMail and Geary under Xvfb to a composed message, with a Quillet
# signature installed by the quillet command while each client runs: KMail takes it live (its
# identities file and the identitiesChanged signal), Geary is closed (geary --quit), written and
# started again. Each runs on a home of its own, with a private session bus, in a network
# namespace with loopback only (both look names up on their first start). It prints what each
# composed message carried. Not part of CI: it takes minutes and a desktop's worth of services.
#
# Usage: tools/real-clients.sh [BUILD_DIR [CLIENT...]]   (a build with quillet and the client
#        tools, default build-test; the clients geary and kmail, default both). Install the
#        clients first with tools/install-deps.sh --real-clients. Screenshots and messages are
#        left in the printed work folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-test}")
quillet=$build/bin/quillet
tools=$build/linux-client-tools
for program in "$quillet" "$tools/kmail-identities"; do
  [ -x "$program" ] || { echo "missing $program: build quillet and the tests first" >&2; exit 1; }
done

# Each client in a namespace, display and session of its own: run_isolated FUNCTION.
run_isolated() {
  unshare --net -- xvfb-run -a -s '-screen 0 1280x900x24' \
    dbus-run-session -- env QUILLET_REAL_CLIENT_STEP="$1" QUILLET_WORK="$work" "$0" "$build"
}

home_for() {
  export HOME=$QUILLET_WORK/$1 XDG_CONFIG_HOME=$QUILLET_WORK/$1/.config
  export XDG_DATA_HOME=$QUILLET_WORK/$1/.local/share XDG_CACHE_HOME=$QUILLET_WORK/$1/.cache
  export XDG_RUNTIME_DIR=$QUILLET_WORK/$1/.runtime GSETTINGS_BACKEND=memory
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  # What the bus starts (Akonadi, KDE's daemons) gets this home too.
  dbus-update-activation-environment HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME \
    XDG_RUNTIME_DIR GSETTINGS_BACKEND
  ip link set lo up
}

signature() {
  printf '%s' '<p><b>Ann Example</b> | <a href="https://example.com/ann">example.com</a></p>' \
    >"$HOME/quillet-signature.html"
}

quillet_install() {
  "$quillet" --home "$HOME" --service http://127.0.0.1:9 --yes --reopen install \
    --file "$HOME/quillet-signature.html" --client "$1" --account ann@example.com
}

wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local limit=$1
  shift
  for _ in $(seq "$limit"); do "$@" >/dev/null 2>&1 && return 0; sleep 1; done
  return 1
}

outbox_holds_a_message() {  # outbox_holds_a_message GEARY_DB
  [ "$(sqlite3 "$1" 'select count(*) from SmtpOutboxTable' 2>/dev/null || echo 0)" -gt 0 ]
}

step_geary() {
  home_for geary
  # The person's account, as Geary keeps it, with a signature of their own.
  mkdir -p "$XDG_CONFIG_HOME/geary/account_01"
  cat >"$XDG_CONFIG_HOME/geary/account_01/geary.ini" <<'EOF'
[Metadata]
version=1
status=enabled

[Account]
ordinal=1
label=
prefetch_days=-1
save_drafts=true
sender_mailboxes=Ann Example <ann@example.com>;
service_provider=other
signature=<p>Ann's own</p>
use_signature=true

[Incoming]
host=127.0.0.1
port=993
transport_security=transport
login=ann
remember_password=true
credentials=custom

[Outgoing]
host=127.0.0.1
port=465
transport_security=transport
login=ann
remember_password=true
credentials=use-incoming
EOF
  export WEBKIT_DISABLE_COMPOSITING_MODE=1
  geary >"$HOME/geary.log" 2>&1 &
  wait_for 60 xdotool search --onlyvisible --classname '^geary$'
  sleep 10
  # Geary asks for the password of an account that cannot log in, and ignores geary --quit
  # while that question is open: answer it first, as the person would.
  xdotool key Escape
  sleep 2
  signature
  quillet_install Geary
  # Started again by Quillet, as it was started.
  wait_for 60 xdotool search --onlyvisible --classname '^geary$'
  sleep 10
  xdotool key Escape  # the password question of an account that cannot log in
  sleep 2
  local outbox=$XDG_DATA_HOME/geary/account_01/geary.db
  # On a busy machine keystrokes get lost and a composer stays unsent: the person would look
  # and try again, and so does this, a few times.
  for attempt in 1 2 3; do
    xdotool key ctrl+n
    sleep 8
    xdotool type --delay 80 bob@example.com
    # The first Tab only turns the address into a recipient; the second reaches the subject.
    xdotool key Tab
    sleep 1
    xdotool key Tab
    xdotool type --delay 80 'Hello from Quillet'
    xdotool key Tab
    xdotool type --delay 80 'Body text'
    sleep 3
    import -window root "$HOME/geary-composer-$attempt.png"
    xdotool key ctrl+Return  # Send: queued in the outbox, as no server answers
    wait_for 20 outbox_holds_a_message "$outbox" && break
    echo "attempt $attempt: nothing in the outbox yet"
    xdotool key Escape  # a question about the message, or the composer itself
    sleep 3
  done
  import -window root "$HOME/geary-sent.png"
  sqlite3 "$outbox" "select message from SmtpOutboxTable" >"$QUILLET_WORK/geary-outbox.eml"
  timeout 30 geary --quit || true  # it may be asking for the password again
}

step_kmail() {
  home_for kmail
  export QTWEBENGINE_DISABLE_SANDBOX=1
  # The person's identity, made with KDE's own library, with a signature of their own; an
  # outgoing server (no one answers on loopback), and no first-start assistant.
  "$tools/kmail-identities" add ann@example.com 'Ann Example' "<p>Ann's own</p>" html
  # KDE's library made a default identity for the system user first: Ann's is the default.
  uoid=$("$tools/kmail-identities" read | awk -F'\t' '$1 == "ann@example.com" { print $2 }')
  kwriteconfig5 --file emailidentities --group General --key 'Default Identity' "$uoid"
  cat >"$XDG_CONFIG_HOME/mailtransports" <<'EOF'
[General]
default-transport=1

[Transport 1]
host=127.0.0.1
id=1
name=Loopback
port=25
type=SMTP
EOF
  printf '[General]\nfirst-start=false\n' >"$XDG_CONFIG_HOME/kmail2rc"
  # Akonadi's MariaDB refuses to run as root unless told to.
  mkdir -p "$XDG_CONFIG_HOME/akonadi"
  printf '[mysqld]\nuser=root\n' >"$XDG_CONFIG_HOME/akonadi/mysql-local.conf"
  kmail >"$HOME/kmail.log" 2>&1 &
  wait_for 120 dbus-send --session --print-reply --dest=org.kde.kmail /KMail \
    org.freedesktop.DBus.Peer.Ping
  sleep 20
  signature
  quillet_install KMail  # live: KMail reads its identities again on the signal
  sleep 5
  dbus-send --session --print-reply --dest=org.kde.kmail /KMail \
    org.kde.kmail.kmail.openComposer string:bob@example.com string: string: \
    string:'Hello from Quillet' string:'Body text' boolean:false
  sleep 15
  import -window root "$HOME/kmail-composer.png"
  # Queue it (send later, as asked, without a delay): it lands in the local outbox.
  dbus-send --session --print-reply --reply-timeout=60000 --dest=org.kde.kmail /Composer_1 \
    org.kde.kmail.mailcomposer.send int32:0 &
  sleep 10
  xdotool key Return
  wait $! || true
  sleep 20
  import -window root "$HOME/kmail-queued.png"
  # The outbox is a maildir of Akonadi's maildir resource.
  find "$XDG_DATA_HOME" -path '*/outbox/*' -type f -exec cat {} \; \
    >"$QUILLET_WORK/kmail-outbox.eml" 2>/dev/null || true
  dbus-send --session --dest=org.kde.kmail /MainApplication org.qtproject.Qt.QCoreApplication.quit \
    || true
}

case "${QUILLET_REAL_CLIENT_STEP:-}" in
  geary) step_geary; exit 0 ;;
  kmail) step_kmail; exit 0 ;;
esac

work=$(mktemp -d /tmp/quillet-real-clients.XXXXXX)
echo "Working in $work"
status=0
clients=("${@:2}")
[ "${#clients[@]}" -gt 0 ] || clients=(geary kmail)
for client in "${clients[@]}"; do
  echo "== $client"
  run_isolated "$client" >"$work/$client.out" 2>&1 || echo "(the $client run ended with an error)"
  message=$work/$client-outbox.eml
  if [ -s "$message" ]; then
    echo "The message in $client's outbox:"
    cat "$message"
    if grep -q 'example.com/ann' "$message"; then
      echo "-> it carries the Quillet signature, with its link."
    else
      echo "-> it does NOT carry the Quillet signature."
      status=1
    fi
  else
    echo "No message reached $client's outbox (see $work/$client.out and the screenshots)."
    status=1
  fi
done
exit $status
