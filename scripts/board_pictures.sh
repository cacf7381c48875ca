#!/usr/bin/env bash
# Draws the README's board pictures, docs/board-race.png and docs/board-qualifying.png: plays the fuel-critical
# race and the qualifying scenario on the stand-in and turns one board of each, as its board view shows it, into a PNG.
# Usage: scripts/board_pictures.sh    (installs python3-pil and the DejaVu fonts when missing, for Debian's python3;
# builds the two programs)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${STINTKEEPER_BUILD_DIR:-build}"
scripts/deps.sh python3-pil fonts-dejavu-core
cmake -S . -B "$build" -DSTINTKEEPER_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target stintkeeper lfs-standin >/dev/null
mkdir -p docs
/usr/bin/python3 - "$build" <<'PYTHON'
import os, pty, re, select, sys
from PIL import Image, ImageDraw, ImageFont

build = sys.argv[1]

def play(scenario):
    """The stand-in's output for a whole scenario, on a terminal so that the board keeps its colours."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(f"{build}/tools/lfs-standin", ["lfs-standin", "--scenario", scenario, "--speed", "fast",
                                                "--port", "0", "--program", f"{build}/stintkeeper"])
    out = b""
    while True:
        if not select.select([fd], [], [], 1)[0]:
            continue
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            break
        if not chunk:
            break
        out += chunk
    os.waitpid(pid, 0)
    return out.decode("utf-8", "replace")

def boards(text):
    """Every board with buttons: its heading line and its framed lines, colour codes kept."""
    found, board = [], None
    for raw in text.split("\n"):
        line = raw.rstrip("\r").split("\x1b[K")[-1]  # without the status line drawn before it
        if line.startswith("  .- "):
            board = [line]
        elif board is not None and line.startswith("  | "):
            board.append(line)
        elif board is not None:
            if len(board) > 1:
                found.append(board + [line])
            board = None
    return found

COLOURS = {"31": (235, 70, 60), "32": (80, 210, 90), "39": (235, 235, 235)}
FONT = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 20)

def draw(board, path):
    cell_w, cell_h, margin = int(FONT.getlength("M")), 28, 16
    width = max(len(re.sub(r"\x1b\[[0-9;]*m", "", line)) for line in board)
    image = Image.new("RGB", (2 * margin + cell_w * width, 2 * margin + cell_h * len(board)), (24, 26, 30))
    pen = ImageDraw.Draw(image)
    for row, line in enumerate(board):
        colour, column = COLOURS["39"] if row else (150, 150, 150), 0
        frame_end = len(re.sub(r"\x1b\[[0-9;]*m", "", line)) - 1
        for piece in re.split(r"(\x1b\[[0-9;]*m)", line):
            if piece.startswith("\x1b["):
                colour = COLOURS.get(piece[2:-1], colour)
                continue
            for char in piece:
                frame = row == len(board) - 1 or (row > 0 and (column < 4 or column == frame_end))
                pen.text((margin + column * cell_w, margin + row * cell_h), char, font=FONT,
                         fill=(110, 110, 110) if frame else colour)
                column += 1
    image.save(path)

race = [b for b in boards(play("fuel_critical")) if any("SET " in line for line in b)]
qualifying = boards(play("qualifying"))
if not race or not qualifying:
    sys.exit("board_pictures: the scenarios showed no board to draw")
draw(race[0], "docs/board-race.png")
draw(qualifying[-1], "docs/board-qualifying.png")
print("docs/board-race.png and docs/board-qualifying.png written")
PYTHON
