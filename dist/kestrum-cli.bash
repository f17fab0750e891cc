# Bash completion for kestrum-cli: its commands, its options and, for an argument that
# names a settings file, the .cfg files and folders (and the word unit, where diff
# takes the converter instead of a file). The commands, the options and what each
# one takes are read from the program's own help ("kestrum-cli --help" and
# "kestrum-cli help COMMAND"), so they are always those of the installed program.

# The .cfg files and the folders that start with $1.
_kestrum_cli_files()
{
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null || :
    COMPREPLY+=($(compgen -f -X '!*.[cC][fF][gG]' -- "$1") $(compgen -d -- "$1"))
}

# The completions of the value of an option or argument named $1 (as the help names
# it: FILE, DIR, N|DEVICE, COMMAND, ...) that start with $2.
_kestrum_cli_value()
{
    local IFS=$'\n'
    case $1 in
        FILE) _kestrum_cli_files "$2" ;;
        DIR)
            compopt -o filenames 2>/dev/null || :
            COMPREPLY+=($(compgen -d -- "$2"))
            ;;
        PATH)
            compopt -o filenames 2>/dev/null || :
            COMPREPLY+=($(compgen -f -- "$2"))
            ;;
        *DEVICE*)
            if [[ $2 == /* ]]; then
                compopt -o filenames 2>/dev/null || :
                COMPREPLY+=($(compgen -f -- "$2"))
            else
                COMPREPLY+=($(compgen -W "$(printf '%s\n' {1..30})" -- "$2"))
            fi
            ;;
        COMMAND) COMPREPLY+=($(compgen -W "${_kestrum_cli_commands[*]}" -- "$2")) ;;
        # What diff compares and report shows: a settings file, or the word unit for
        # the converter.
        A | B | SOURCE | SOURCE2)
            COMPREPLY+=($(compgen -W unit -- "$2"))
            _kestrum_cli_files "$2"
            ;;
    esac
}

_kestrum_cli()
{
    # No pathname expansion of the help's words or of the completions.
    local -
    set -f
    local cur=${COMP_WORDS[COMP_CWORD]}
    local cli=${COMP_WORDS[0]}
    COMPREPLY=()
    local help
    help=$("$cli" --help 2>/dev/null) || help=$(kestrum-cli --help 2>/dev/null) || return 0

    # From the help: the commands (the lines indented by two under "Commands:") and
    # the options before the command, with the name of the value each one takes.
    local -a _kestrum_cli_commands=()
    local -A takes=()
    local section= line option short value
    while IFS= read -r line; do
        case $line in
            [A-Za-z]*:) section=$line ;;
            "  "[a-z]*)
                line=${line#  }
                [[ $section != Commands: ]] || _kestrum_cli_commands+=("${line%% *}")
                ;;
            "  -"*)
                [[ $section == Options: ]] || continue
                line=${line#  }
                short=
                if [[ $line == -?,\ * ]]; then
                    short=${line:0:2}
                    line=${line:4}
                fi
                option=${line%% *}
                line=${line#"$option"}
                value=
                if [[ $line == \ [A-Z]* ]]; then
                    value=${line:1}
                    value=${value%% *}
                fi
                takes[$option]=$value
                [[ -z $short ]] || takes[$short]=$value
                ;;
        esac
    done <<<"$help"

    # Where the cursor stands: before the command, or at the command's n-th argument.
    local i word command= positional=0
    local -a arguments=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -z $command ]]; then
            if [[ $word == -* ]]; then
                [[ -z ${takes[$word]-} ]] || i=$((i + 1))
            else
                command=$word
                # "Usage: kestrum-cli [OPTION]... read-all [--save FILE]": what the
                # command takes; its own options stand in brackets, each with the
                # name of its value, if any, after it.
                local usage
                usage=$("$cli" help "$command" 2>/dev/null || kestrum-cli help "$command" 2>/dev/null)
                usage=${usage%%$'\n'*}
                usage=${usage#*"... $command"}
                usage=${usage//\[/ [ }
                takes=([-h]= [--help]=)
                local -a tokens=(${usage//]/ ] })
                local t
                for ((t = 0; t < ${#tokens[@]}; t++)); do
                    case ${tokens[t]} in
                        --*)
                            option=${tokens[t]}
                            takes[$option]=
                            if [[ ${tokens[t + 1]-]} != [][]* ]]; then
                                t=$((t + 1))
                                takes[$option]=${tokens[t]}
                            fi
                            ;;
                        [][]) ;;
                        *) arguments+=("${tokens[t]}") ;;
                    esac
                done
            fi
        elif [[ $word == -* && -n ${takes[$word]+set} ]]; then
            [[ -z ${takes[$word]} ]] || i=$((i + 1))
        else
            positional=$((positional + 1))
        fi
    done

    # The value of an option.
    if ((COMP_CWORD > 1)); then
        local previous=${COMP_WORDS[COMP_CWORD - 1]}
        if [[ $previous == -* && -n ${takes[$previous]-} ]]; then
            _kestrum_cli_value "${takes[$previous]}" "$cur"
            return 0
        fi
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "${!takes[*]}" -- "$cur"))
    elif [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "${_kestrum_cli_commands[*]}" -- "$cur"))
    elif ((positional < ${#arguments[@]})); then
        _kestrum_cli_value "${arguments[positional]}" "$cur"
    fi
    return 0
}

complete -F _kestrum_cli kestrum-cli
