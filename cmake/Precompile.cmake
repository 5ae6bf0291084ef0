# Precompiled headers: the toolkit's and the standard library's headers
# that nearly every unit includes are parsed once per group of targets
# compiled alike, instead of once per unit (about three seconds of each
# unit's compile). Only outside headers go in, so that a change to our own
# headers never rebuilds a group's header. A unit that uses one of them
# without including it still compiles with them: configure with
# -DDISPCTL_PRECOMPILE_HEADERS=OFF to check a unit's includes.
option(DISPCTL_PRECOMPILE_HEADERS "Precompile the toolkit's and standard headers" ON)

set(DISPCTL_PCH_HEADERS
    <QByteArray> <QHash> <QJsonArray> <QJsonDocument> <QJsonObject> <QList> <QMap> <QObject> <QRect> <QSet>
    <QSharedPointer> <QSize> <QString> <QStringList>
    <algorithm> <cmath> <cstdint> <cstring> <functional> <memory> <optional> <string>
    <string_view> <vector>)

# dispctl_precompile(TARGET [EXTRA <header>...]) gives TARGET the headers;
# dispctl_precompile(TARGET REUSE_FROM DONOR) has it use DONOR's, which
# needs the same compiler options (PIC, optimisation, debug level and
# sanitizers) and no macro of its own that the headers read.
function(dispctl_precompile target)
    if(NOT DISPCTL_PRECOMPILE_HEADERS)
        return()
    endif()
    cmake_parse_arguments(ARG "" "REUSE_FROM" "EXTRA" ${ARGN})
    if(ARG_REUSE_FROM)
        target_precompile_headers(${target} REUSE_FROM ${ARG_REUSE_FROM})
    else()
        target_precompile_headers(${target} PRIVATE ${DISPCTL_PCH_HEADERS} ${ARG_EXTRA})
    endif()
endfunction()
