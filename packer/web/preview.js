// The installer's window as the player sees it, drawn from the window's own layout
// (resources/WindowLayout.h, as the packer's module gives it at the screen's DPI): the panel and
// its three lines, the picture at its own size, and the package line. As the installer does
// (ui/MainWindow.cpp), each line is centred in its box, its trailing spaces counting, and cut at
// the box's edges. No web font is fetched: the layout's face, else ones that stand in for it.
'use strict';

const TazelPreview = (() => {
    const rgb = ([red, green, blue]) => `rgb(${red},${green},${blue})`;

    function font(layout, line) {
        return `${line.italic ? 'italic ' : ''}${layout.weight} ${line.fontHeight}px ` +
            `"${layout.face}", "Liberation Sans", sans-serif`;
    }

    // Draws the window's client area on `canvas`, at the layout's DPI; `picture` is an image
    // (or null for an empty box), `packageLine` the line the package gives.
    function draw(canvas, layout, picture, packageLine) {
        const scale = layout.dpi / 96;
        canvas.width = layout.clientWidth;
        canvas.height = layout.clientHeight;
        canvas.style.width = `${layout.clientWidth / scale}px`;
        canvas.style.height = `${layout.clientHeight / scale}px`;
        const context = canvas.getContext('2d');
        context.fillStyle = rgb(layout.windowBackground);
        context.fillRect(0, 0, canvas.width, canvas.height);
        const panel = layout.panel;
        context.fillStyle = rgb(layout.panelBackground);
        context.fillRect(panel.left, panel.top, panel.width, panel.height);

        if (picture) {
            // At the designed DPI the pixels as they are; scaled, smoothed as Windows' HALFTONE does.
            context.imageSmoothingEnabled = layout.dpi !== 96;
            context.imageSmoothingQuality = 'high';
            context.drawImage(picture, layout.picture.left, layout.picture.top, layout.pictureDrawn.width,
                              layout.pictureDrawn.height);
        }

        const texts = [];
        for (const line of layout.lines) {
            const text = line.text === null ? packageLine : line.text;
            texts.push(text.trim());
            const box = line.box;
            context.save();
            context.beginPath();
            context.rect(box.left, box.top, box.width, box.height);
            context.clip();
            context.font = font(layout, line);
            context.fillStyle = rgb(line.colour);
            context.textBaseline = 'alphabetic';
            const measured = context.measureText(text);
            // The installer's CentredLeft: half the slack, rounded down, for wider lines too.
            const left = box.left + Math.floor((box.width - Math.round(measured.width)) / 2);
            // Windows sets a line's cell on the box's top edge: its baseline is the font's ascent below.
            context.fillText(text, left, box.top + Math.round(measured.fontBoundingBoxAscent));
            context.restore();
        }
        canvas.setAttribute('aria-label', `The window: ${texts.filter((t) => t).join('; ')}`);
    }

    return {draw};
})();
