#!/bin/sh
# The installed launcher, run beside the installed tbrtool and a stand-in for
# the program that writes down the folder it was started in and how many
# arguments it got, in a home folder of its own whose name holds a blank.
#
#   launcher.sh STAGING VERSION
set -eu
usr=$1/usr
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
newline='
'

bin=$work/bin
mkdir -p "$bin" "$work/home dir"
cp "$usr/bin/tamblor-launch" "$usr/bin/tbrtool" "$bin/"
cat >"$bin/tamblor" <<'EOF'
#!/bin/sh
{ pwd; echo "$#"; } >"$STARTED"
EOF
chmod +x "$bin/tamblor"
export HOME="$work/home dir" STARTED="$work/started"
unset XDG_DATA_HOME XDG_CONFIG_HOME DISPLAY WAYLAND_DISPLAY

fail() {
    echo "launcher.sh: $*" >&2
    [ ! -s "$work/stderr" ] || { echo "its standard error:" && cat "$work/stderr"; } >&2
    exit 1
}

# Runs the launcher (LAUNCHER, else the installed one) with ARGS; its status
# in $status, its output in $out.
launch() {
    rm -f "$STARTED"
    status=0
    out=$(timeout 120 "${LAUNCHER:-$bin/tamblor-launch}" "$@" 2>"$work/stderr") || status=$?
    [ "$status" -ne 124 ] || fail "the launcher hung (arguments: $*)"
}
started_in() {
    [ "$status" -eq 0 ] || fail "exited with $status, expected a start in $1"
    [ -f "$STARTED" ] || fail "the program was not started"
    [ "$(cat "$STARTED")" = "$1${newline}0" ] ||
        fail "started as [$(cat "$STARTED")], expected in [$1] with no argument"
}
failed() {
    [ "$status" -eq "$1" ] || fail "exited with $status, expected $1"
    [ ! -f "$STARTED" ] || fail "the program was started"
    grep -q -- "$2" "$work/stderr" || fail "no report of '$2'"
}
empty_library() {
    [ -f "$1/pictures.tbr" ] || fail "no library in $1"
    scores=$("$bin/tbrtool" list "$1/pictures.tbr") || fail "$1/pictures.tbr is no library"
    [ -z "$scores" ] || fail "$1/pictures.tbr is not empty: $scores"
}

# The first start from the menu: the default folder and an empty library made.
default=$HOME/.local/share/tamblor
launch
started_in "$default"
empty_library "$default"

# A library there is never made anew or touched, whatever it holds.
printf 'scores of mine' >"$default/pictures.tbr"
launch
started_in "$default"
[ "$(cat "$default/pictures.tbr")" = 'scores of mine' ] || fail "the library was changed"

# XDG_DATA_HOME is taken when absolute only.
export XDG_DATA_HOME="$work/data"
launch
started_in "$XDG_DATA_HOME/tamblor"
empty_library "$XDG_DATA_HOME/tamblor"
(
    cd "$work"
    export XDG_DATA_HOME=relative/data
    launch
    started_in "$default"
    [ ! -e relative ] || fail "a relative XDG_DATA_HOME was used"
)

# A chosen folder, its name with a newline and a trailing blank, is made,
# remembered under XDG_CONFIG_HOME and started in from then on; the default
# folder is no longer made.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/fresh data"
chosen="$work/my${newline}scores "
launch --choose-folder "$chosen"
started_in "$chosen"
empty_library "$chosen"
[ -f "$XDG_CONFIG_HOME/tamblor/score-folder" ] || fail "the choice was not kept"
launch
started_in "$chosen"
launch --print-folder
[ "$status" -eq 0 ] || fail "--print-folder exited with $status"
[ "$out" = "$chosen" ] || fail "printed [$out], expected [$chosen]"
[ ! -e "$XDG_DATA_HOME" ] || fail "the default folder was made although one is chosen"

# A relative folder is remembered as the absolute one it names.
(
    cd "$work"
    launch --choose-folder "relative folder"
    started_in "$work/relative folder"
)

# A chosen folder that has gone is reported and not made anew.
rm -rf "$work/relative folder"
launch
failed 1 "relative folder is not there"
[ ! -e "$work/relative folder" ] || fail "a chosen folder that had gone was made anew"

# Without a folder named, the desktop's dialog is asked; its cancel changes
# nothing.
cat >"$bin/zenity" <<'EOF'
#!/bin/sh
[ -z "${ANSWER-}" ] && exit 1
printf '%s\n' "$ANSWER"
EOF
chmod +x "$bin/zenity"
(
    export PATH="$bin:$PATH" ANSWER="$work/asked${newline}folder"
    launch --choose-folder
    started_in "$work/asked${newline}folder"
    ANSWER=
    launch --choose-folder
    failed 1 "no folder chosen"
)
launch
started_in "$work/asked${newline}folder"

# A pipe where the choice is kept is refused, not read for ever (a writer
# holds it open and never writes); a new choice replaces it, and goes under a
# name of its own, never through a pipe lying beside it.
choice=$XDG_CONFIG_HOME/tamblor/score-folder
rm -f "$choice"
mkfifo "$choice" "$choice.new"
exec 3<>"$choice"
launch
failed 1 "score-folder is not a regular file"
launch --print-folder
failed 1 "score-folder is not a regular file"
exec 3<&-
launch --choose-folder "$work/asked${newline}folder"
started_in "$work/asked${newline}folder"
[ -f "$choice" ] && [ -p "$choice.new" ] || fail "the choice went through the pipe beside it"
rm -f "$choice.new"

# A folder that cannot be made, and a library that cannot be made, are
# reported and nothing is started.
unset XDG_CONFIG_HOME
export XDG_DATA_HOME="$work/a file"
: >"$XDG_DATA_HOME"
launch
failed 1 "cannot make the score folder"
mkdir "$work/broken"
cp "$bin/tamblor-launch" "$bin/tamblor" "$work/broken/"
printf '#!/bin/sh\necho "tbrtool: disk full" >&2\nexit 1\n' >"$work/broken/tbrtool"
chmod +x "$work/broken/tbrtool"
export XDG_DATA_HOME="$work/data elsewhere"
LAUNCHER=$work/broken/tamblor-launch launch
failed 1 "cannot make an empty library in .*: tbrtool: disk full"
[ ! -e "$XDG_DATA_HOME/tamblor/pictures.tbr" ] || fail "a library was left behind"

# Wrong arguments, and the version.
launch --choose-folder a b
failed 2 "usage: tamblor-launch"
launch --bogus
failed 2 "usage: tamblor-launch"
launch --version
[ "$out" = "tamblor-launch (tamblor) $version" ] || fail "version [$out]"
