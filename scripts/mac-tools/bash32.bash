# BASH_ENV for scripts run as on a Mac: what the Mac's bash 3.2 lacks fails here.
enable -n mapfile readarray 2>/dev/null || true
wait() {
    case " $* " in *" -n "* | *" -p "*) echo "mac-tools: wait $* (bash 4.3+; the Mac's bash 3.2 has no wait -n)" >&2; exit 97 ;; esac
    builtin wait "$@"
}
