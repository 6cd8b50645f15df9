#!/bin/sh
# wrap.sh TOOL ARGS…: runs the system's TOOL with ARGS after refusing the options the Mac's BSD
# version lacks. Each wrapper in this folder is a link-free two-line script that calls this.
here="$(cd "$(dirname "$0")" && pwd -P)"
tool="$1"
shift
refuse() { exec "$here/refuse.sh" "$tool" "$@"; }
previous=""
for arg in "$@"; do
    # The command xargs runs and what find's -exec runs have options of their own.
    case "$tool:$arg" in xargs:[!-]* | find:-exec | find:-execdir | find:-ok) break ;; esac
    case "$tool:$arg" in
        *:--*) [ "$arg" = "--" ] || refuse "long option $arg" ;;
        realpath:-*) [ "$arg" = "-q" ] || refuse "option $arg" ;;
        readlink:-*[em]*) refuse "option $arg" ;;
        sed:-r | sed:-*z*) refuse "option $arg" ;;
        stat:-c* | stat:--printf*) refuse "option $arg" ;;
        date:-d* | date:-I*) refuse "option $arg" ;;
        find:-printf | find:-regextype | find:-readable | find:-executable | find:-fprint*) refuse "test $arg" ;;
        grep:-*P*) refuse "option $arg (Perl expressions)" ;;
        xargs:-r | xargs:-d* | xargs:-a*) refuse "option $arg" ;;
    esac
    # sed -i takes its backup suffix as the next argument on the Mac: "-i 's/a/b/'" eats the script.
    if [ "$tool" = sed ] && [ "$previous" = "-i" ]; then
        case "$arg" in "" | .*) ;; *) refuse "-i without a suffix argument" ;; esac
    fi
    previous="$arg"
done
# The real tool: the first one on PATH outside this folder (found without any wrapped tool).
old_ifs="$IFS"
IFS=:
for dir in $PATH; do
    [ "$dir" = "$here" ] && continue
    if [ -x "$dir/$tool" ]; then
        IFS="$old_ifs"
        exec "$dir/$tool" "$@"
    fi
done
echo "mac-tools: no $tool on PATH" >&2
exit 127
