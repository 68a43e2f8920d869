# Writes the bash completion of glyphwright-cli from the program's own --help texts, so that every
# command and option the help lists can be completed.
#   cmake -DCLI=<glyphwright-cli> -DOUTPUT=<file> -P BashCompletion.cmake
# Commands are the lines "    NAME   text" of the section COMMANDS; options the lines
# "    [-x[ VALUE], ]--name[ VALUE]" of a section OPTIONS. A value named DIR completes folders, FILE
# files, one like "win|mac" its words; other values (N, LIST) are left to the user.
cmake_minimum_required(VERSION 3.25)

function(gw_help_sections cli out_commands out_options)
    execute_process(COMMAND ${cli} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${cli} ${ARGN} --help failed (${status})")
    endif()
    string(REPLACE ";" "\\;" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")
    set(section "")
    set(commands "")
    set(options "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^([A-Z][A-Z ]*)$")
            set(section "${CMAKE_MATCH_1}")
        elseif(section STREQUAL "COMMANDS" AND line MATCHES "^    ([a-z][a-z0-9-]*)   ")
            list(APPEND commands "${CMAKE_MATCH_1}")
        elseif(section STREQUAL "OPTIONS"
               AND line MATCHES "^    (-([A-Za-z0-9])( [^ ,]+)?, )?--([a-z0-9-]+)( ([^ ]+))?(  .*)?$")
            # One option: "long@short@value".
            list(APPEND options "${CMAKE_MATCH_4}@${CMAKE_MATCH_2}@${CMAKE_MATCH_6}")
        endif()
    endforeach()
    set(${out_commands} "${commands}" PARENT_SCOPE)
    set(${out_options} "${options}" PARENT_SCOPE)
endfunction()

# The words and the value cases of one option list.
function(gw_option_words options out_words out_cases)
    set(words "")
    set(cases "")
    foreach(option IN LISTS options)
        string(REPLACE "@" ";" parts "${option}")
        list(GET parts 0 long)
        list(GET parts 1 short)
        list(GET parts 2 value)
        set(names "--${long}")
        if(NOT short STREQUAL "")
            string(APPEND names "|-${short}")
        endif()
        string(REPLACE "|" " " spaced "${names}")
        string(APPEND words " ${spaced}")
        if(value STREQUAL "DIR")
            string(APPEND cases "            ${names}) COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n")
        elseif(value STREQUAL "FILE")
            string(APPEND cases "            ${names}) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n")
        elseif(value MATCHES "\\|")
            string(REPLACE "|" " " choices "${value}")
            string(APPEND cases "            ${names}) COMPREPLY=($(compgen -W \"${choices}\" -- \"$cur\")); return ;;\n")
        elseif(NOT value STREQUAL "")
            string(APPEND cases "            ${names}) return ;;\n")
        endif()
    endforeach()
    string(STRIP "${words}" words)
    set(${out_words} "${words}" PARENT_SCOPE)
    set(${out_cases} "${cases}" PARENT_SCOPE)
endfunction()

gw_help_sections(${CLI} commands top_options)
if(NOT commands)
    message(FATAL_ERROR "no commands found in the help of ${CLI}")
endif()
gw_option_words("${top_options}" top_words top_cases)
string(REPLACE ";" " " command_words "${commands}")

set(command_cases "")
foreach(command IN LISTS commands)
    gw_help_sections(${CLI} unused options ${command})
    gw_option_words("${options}" words cases)
    string(APPEND command_cases "        ${command})\n            options=\"${words}\"\n")
    if(cases)
        string(APPEND command_cases "            case $prev in\n${cases}            esac\n")
    endif()
    string(APPEND command_cases "            ;;\n")
endforeach()

file(WRITE ${OUTPUT} "# bash completion for glyphwright-cli                                   -*- shell-script -*-
# Generated from the program's --help texts at build time (cmake/BashCompletion.cmake).

_glyphwright_cli() {
    local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]}
    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W \"${command_words} ${top_words}\" -- \"$cur\"))
        return
    fi
    local options='' i
    case \${COMP_WORDS[1]} in
${command_cases}        *)
            return
            ;;
    esac
    # After \"--\" every word is a path.
    for ((i = 2; i < COMP_CWORD; i++)); do
        [[ \${COMP_WORDS[i]} == -- ]] && options=''
    done
    if [[ -n $options && $cur == -* ]]; then
        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))
    else
        COMPREPLY=($(compgen -f -- \"$cur\"))
    fi
}
complete -o filenames -F _glyphwright_cli glyphwright-cli
")
