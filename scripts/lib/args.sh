# shellcheck shell=bash
# Sourced by the scripts for their --help.
#   help_if_asked "$@"
# prints the calling script's header comment and ends it with 0 when its first argument is -h or
# --help.
#   help_or_no_arguments "$@"
# does the same for a script that takes no other argument, and ends it with 2 and a line that
# says where to look for any other argument.
help_if_asked() {
    case ${1:-} in
        -h | --help)
            sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"
            exit 0
            ;;
    esac
}

help_or_no_arguments() {
    local arg name
    name=$(basename "$0")
    for arg in "$@"; do
        case $arg in
            -h | --help) help_if_asked "$arg" ;;
            *)
                echo "$name: unknown argument '$arg' (see scripts/$name --help)" >&2
                exit 2
                ;;
        esac
    done
}
