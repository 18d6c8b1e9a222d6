# Sourced by the scripts that need a virtual X screen of their own.
# start_virtual_screen FOLDER [XVFB OPTION...]: starts Xvfb on a display it
# picks itself, waits until it accepts connections, exports DISPLAY and sets
# XVFB_PID. Its log and display number go into FOLDER.
start_virtual_screen() {
    local folder=$1
    shift
    # The server writes its display number once it is ready.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "$@" \
        3>"$folder/display" 2>"$folder/xvfb.log" &
    XVFB_PID=$!
    for _ in $(seq 100); do
        grep -q . "$folder/display" 2>/dev/null && break
        sleep 0.1
    done
    DISPLAY=:$(head -n1 "$folder/display")
    export DISPLAY
}
