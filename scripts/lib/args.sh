# shellcheck shell=bash
# Sourced by the scripts that take no arguments but --help.
#   help_or_no_arguments "$@"
# prints the calling script's header comment for -h or --help and ends it with 0; any other
# argument ends it with 2 and a line that says where to look.
help_or_no_arguments() {
    local arg name
    name=$(basename "$0")
    for arg in "$@"; do
        case $arg in
            -h | --help)
                sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"
                exit 0
                ;;
            *)
                echo "$name: unknown argument '$arg' (see scripts/$name --help)" >&2
                exit 2
                ;;
        esac
    done
}
