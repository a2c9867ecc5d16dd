# Writes the benchmark's catalogue source: COUNT messages of settings-window length.
#   cmake -DOUT=<file.po> -DCOUNT=<n> -P make_bench_po.cmake
set(text "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n")
math(EXPR last "${COUNT} - 1")
foreach(i RANGE ${last})
    string(APPEND text "msgid \"Settings window message ${i}: choose the port and the cursor speed\"\n")
    string(APPEND text "msgstr \"Meldung ${i} des Einstellungsfensters: Port und Zeigertempo wählen\"\n\n")
endforeach()
file(WRITE ${OUT} "${text}")
