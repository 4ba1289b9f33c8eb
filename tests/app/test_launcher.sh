#!/bin/bash
# Tests of tools/dirquill-launcher, run against the real database tool and a
# stand-in for the program that only records where and how it was started.
#
# Usage: test_launcher.sh DIRQUILL_DB LAUNCHER DATA_DIR
#   DIRQUILL_DB  the built dirquill-db
#   LAUNCHER     the launcher script
#   DATA_DIR     a folder holding the two documents under their installed names

set -u

if [ $# -ne 3 ]; then
    echo "usage: $0 DIRQUILL_DB LAUNCHER DATA_DIR" >&2
    exit 2
fi

abs() { (cd -- "$(dirname -- "$1")" && printf '%s/%s\n' "$(pwd)" "$(basename -- "$1")"); }
db_tool=$(abs "$1")
launcher=$(abs "$2")
data_dir=$(abs "$3")

agreement_doc='澄枫文件助手V1.0软件最终用户授权使用许可协议.doc'
help_doc='澄枫文件助手V1.0软件使用帮助.doc'

for f in "$db_tool" "$launcher" "$data_dir/$agreement_doc" "$data_dir/$help_doc"; do
    if [ ! -f "$f" ]; then
        echo "missing: $f" >&2
        exit 2
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what" >&2
    fi
}

# make_fake_program FILE RECORD: a dirquill that writes its folder, whether
# config.mdb was there when it started, and its arguments (one per line) to
# RECORD, then exits with $FAKE_EXIT (default 0).
make_fake_program() {
    cat >"$1" <<EOF
#!/bin/sh
{
    pwd
    if [ -f config.mdb ]; then echo "config.mdb present"; else echo "config.mdb missing"; fi
    for arg in "\$@"; do printf '<%s>\n' "\$arg"; done
} >'$2'
exit "\${FAKE_EXIT:-0}"
EOF
    chmod +x "$1"
}

# A bin folder as installed: launcher, real database tool and fake program.
bin=$tmp/bin
mkdir -p "$bin"
ln -s "$launcher" "$bin/dirquill-launcher"
ln -s "$db_tool" "$bin/dirquill-db"
make_fake_program "$bin/dirquill" "$tmp/record"

# run_launcher XDG_DATA_HOME ARGS...: run the installed launcher from an
# unrelated folder; stdout and stderr go to $tmp/out.
run_launcher() {
    local xdg=$1
    shift
    (cd / && XDG_DATA_HOME=$xdg DIRQUILL_DATA_DIR=$data_dir "$bin/dirquill-launcher" "$@") >"$tmp/out" 2>&1
}

same_file() { cmp -s -- "$1" "$2"; }
recorded_line() { sed -n "${1}p" "$tmp/record"; }
is_equal() { [ "$1" = "$2" ]; }

# --- First start: the working folder is prepared, then the program runs there.
xdg="$tmp/data home/用户"
work="$xdg/dirquill"
rm -f "$tmp/record"
run_launcher "$xdg" "first arg" "" --flag "中文 名称"
rc=$?
check "first start exits with the program's status 0" is_equal "$rc" 0
check "working folder created" test -d "$work"
check "config.mdb created" test -s "$work/config.mdb"
check "agreement document copied" same_file "$data_dir/$agreement_doc" "$work/$agreement_doc"
check "help document copied" same_file "$data_dir/$help_doc" "$work/$help_doc"
check "no temporary files left" is_equal "$(find "$work" -name '*.part.*' | wc -l)" 0
check "program started" test -f "$tmp/record"
check "program runs in the working folder" is_equal "$(recorded_line 1)" "$work"
check "config.mdb exists when the program starts" is_equal "$(recorded_line 2)" "config.mdb present"
check "arguments passed unchanged" is_equal "$(sed -n '3,$p' "$tmp/record" 2>/dev/null)" \
    "$(printf '%s\n' '<first arg>' '<>' '<--flag>' '<中文 名称>')"

# --- Second start: nothing the user has is replaced.
sum_before=$(cksum <"$work/config.mdb")
printf '\n用户的批注\n' >>"$work/$help_doc"
cp "$work/$help_doc" "$tmp/changed-help"
rm -f "$work/$agreement_doc"
rm -f "$tmp/record"
run_launcher "$xdg"
rc=$?
check "second start succeeds" is_equal "$rc" 0
check "existing config.mdb unchanged" is_equal "$(cksum <"$work/config.mdb")" "$sum_before"
check "changed document kept" same_file "$tmp/changed-help" "$work/$help_doc"
check "removed document copied again" same_file "$data_dir/$agreement_doc" "$work/$agreement_doc"
check "program started without arguments" is_equal "$(sed -n '3,$p' "$tmp/record" 2>/dev/null)" ""

# --- The program's exit status is the launcher's.
(cd / && FAKE_EXIT=7 XDG_DATA_HOME=$xdg DIRQUILL_DATA_DIR=$data_dir "$bin/dirquill-launcher") >/dev/null 2>&1
check "program's exit status returned" is_equal "$?" 7

# --- Without XDG_DATA_HOME (or with a relative one) the folder is under HOME.
home="$tmp/home"
mkdir -p "$home"
rm -f "$tmp/record"
(cd / && unset XDG_DATA_HOME && HOME=$home DIRQUILL_DATA_DIR=$data_dir "$bin/dirquill-launcher") >/dev/null 2>&1
check "default working folder under HOME" is_equal "$(recorded_line 1)" "$home/.local/share/dirquill"
check "default working folder has config.mdb" test -s "$home/.local/share/dirquill/config.mdb"
rm -f "$tmp/record"
(cd "$tmp" && HOME=$home XDG_DATA_HOME=relative DIRQUILL_DATA_DIR=$data_dir "$bin/dirquill-launcher") >/dev/null 2>&1
check "relative XDG_DATA_HOME ignored" is_equal "$(recorded_line 1)" "$home/.local/share/dirquill"
check "no folder made for a relative XDG_DATA_HOME" test ! -e "$tmp/relative"

# --- The tools are found in PATH when they are not beside the launcher.
alone=$tmp/alone
tools=$tmp/tools
mkdir -p "$alone" "$tools"
cp "$launcher" "$alone/dirquill-launcher"
ln -s "$db_tool" "$tools/dirquill-db"
make_fake_program "$tools/dirquill" "$tmp/record"
rm -f "$tmp/record"
(cd / && PATH=$tools:$PATH XDG_DATA_HOME=$tmp/via-path DIRQUILL_DATA_DIR=$data_dir "$alone/dirquill-launcher") >/dev/null 2>&1
check "program found in PATH" is_equal "$(recorded_line 1)" "$tmp/via-path/dirquill"
check "database tool found in PATH" test -s "$tmp/via-path/dirquill/config.mdb"

# --- Nothing is started when the working folder or the database cannot be made.
printf 'not a folder\n' >"$tmp/a-file"
rm -f "$tmp/record"
run_launcher "$tmp/a-file"
rc=$?
check "unusable working folder reported" test "$rc" -ne 0
check "program not started without a working folder" test ! -e "$tmp/record"

broken=$tmp/broken
mkdir -p "$broken"
ln -s "$launcher" "$broken/dirquill-launcher"
cat >"$broken/dirquill-db" <<'EOF'
#!/bin/sh
echo "cannot create $2" >&2
exit 3
EOF
chmod +x "$broken/dirquill-db"
make_fake_program "$broken/dirquill" "$tmp/record"
rm -f "$tmp/record"
(cd / && XDG_DATA_HOME=$tmp/broken-data DIRQUILL_DATA_DIR=$data_dir "$broken/dirquill-launcher") >"$tmp/out" 2>&1
rc=$?
check "failed database creation reported" test "$rc" -ne 0
check "program not started without a database" test ! -e "$tmp/record"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
