// Draws what lies over the picture on the overlay canvas: the annotation
// marks (a highlight is a translucent band, a marker an arrow whose tip is
// its rectangle's first corner) and the presenter's pointer. Redrawn whole
// when either changes; main thread.

const kHighlight = 0;  // kAnnotationHighlight; a marker is 1

function colourOf(bgr) {
  const r = bgr & 0xff, g = (bgr >> 8) & 0xff, b = (bgr >> 16) & 0xff;
  return `rgb(${r},${g},${b})`;
}

function drawMark(g, mark) {
  const left = Math.min(mark.left, mark.right), top = Math.min(mark.top, mark.bottom);
  const w = Math.abs(mark.right - mark.left), h = Math.abs(mark.bottom - mark.top);
  if (mark.kind === kHighlight) {
    g.fillStyle = 'rgba(255, 255, 0, 0.35)';
    g.fillRect(left, top, w, h);
    return;
  }
  g.strokeStyle = g.fillStyle = colourOf(mark.colour);
  g.lineWidth = 3;
  g.beginPath();
  g.moveTo(mark.right, mark.bottom);
  g.lineTo(mark.left, mark.top);
  g.stroke();
  g.beginPath();
  g.arc(mark.left, mark.top, 5, 0, 2 * Math.PI);
  g.fill();
}

function drawPointer(g, p) {
  g.beginPath();
  g.moveTo(p.x, p.y);
  g.lineTo(p.x, p.y + 18);
  g.lineTo(p.x + 5, p.y + 13);
  g.lineTo(p.x + 12, p.y + 13);
  g.closePath();
  g.fillStyle = 'white';
  g.strokeStyle = 'black';
  g.lineWidth = 1;
  g.fill();
  g.stroke();
}

export function drawOverlay(canvas, marks, pointer) {
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, canvas.width, canvas.height);
  for (const mark of marks) drawMark(g, mark);
  if (pointer) drawPointer(g, pointer);
}
