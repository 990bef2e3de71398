# Sourced (POSIX sh) by the demo and check scripts: the object store of a demo
# project, the stand-in for the process-data server.
#   demo_store START_UTC RATE CODE PROJECT_NAME > FILE.do
# The store clock starts at START_UTC now and runs RATE times as fast (0:
# stands still); local time is one hour ahead. "$SHUTDOWN" is 0, the project
# code "$PACKVAULT" is CODE, and the error and project objects are the ones
# the demo kestrel.ini files name (PV_ZIPERROR, PV_PROJECT).
demo_store() {
  cat <<DO
[clock]
start = $1
started_at = $(date +%s)
rate = $2
local_offset = 3600
[objects]
\$SHUTDOWN = int 0
\$MOFULL = int 0
\$MOGB = float 0
\$MOPROCENT = int 0
\$PACKVAULT = text $3
PV_ZIPERROR = int 0
PV_PROJECT = text $4
DO
}
