# Bash completion for kelvane: verbs, each verb's options, format names (from `kelvane formats`),
# device numbers and names (from `kelvane devices`), info keys and file names.
# Installed as share/bash-completion/completions/kelvane; to try it by hand: source this file.

_kelvane_devices() {
    # $1: "Input devices" or "Output devices". Numbers, then names (blanks escaped).
    local section=$1 line in_section=0
    while IFS= read -r line; do
        case $line in
            "$section:") in_section=1 ;;
            *devices:) in_section=0 ;;
            "  "[0-9]*)
                if [ $in_section = 1 ]; then
                    line=${line#  }
                    printf '%s\n' "${line%%  *}"
                    printf '%s\n' "${line#*  }"
                fi
                ;;
        esac
    done < <("${COMP_WORDS[0]}" devices 2>/dev/null)
}

_kelvane() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local verbs="record play info convert formats devices script register unregister help"
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$verbs --help --version" -- "$cur"))
        return
    fi
    local verb=${COMP_WORDS[1]} options=""
    case $verb in
        record) options="--seconds --format --device --buffer --info --quiet -q --clock --help --" ;;
        play) options="--device --start --quiet -q --clock --help --" ;;
        info) options="--help --" ;;
        convert) options="--bitrate --vbr --no-tags --format --info --quiet -q --help --" ;;
        formats | devices) options="--help" ;;
        script) options="--clock --design --help" ;;
        register | unregister) options="--help" ;;
        help)
            COMPREPLY=($(compgen -W "$verbs" -- "$cur"))
            return
            ;;
    esac
    case $prev in
        --format)
            COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" formats 2>/dev/null | cut -d' ' -f1)" \
                -- "$cur"))
            return
            ;;
        --device)
            local section="Input devices" IFS=$'\n'
            [ "$verb" = play ] && section="Output devices"
            local names=($(_kelvane_devices "$section"))
            # Names hold blanks; -o filenames quotes them for the command line.
            COMPREPLY=($(compgen -W "${names[*]}" -- "$cur"))
            return
            ;;
        --clock)
            COMPREPLY=($(compgen -W "manual real" -- "$cur"))
            return
            ;;
        --info)
            compopt -o nospace 2>/dev/null
            COMPREPLY=($(compgen -W "title= artist= album= comment= date= genre= copyright= \
                software= keywords= DISP=" -- "$cur"))
            return
            ;;
        --seconds | --buffer | --start | --bitrate)
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $verb in
        register | unregister) COMPREPLY=($(compgen -f -X '!*.so' -- "$cur")) ;;
        record | play | info | convert) COMPREPLY=($(compgen -f -- "$cur")) ;;
        script) COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}

complete -o filenames -F _kelvane kelvane
