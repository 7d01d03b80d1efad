// The lab's state as it stands at the clock, as its drawer gives it: the
// pool, the list and each thread's wait in words, the guard's code with each
// thread's next line marked, and the timeline, drawn in the page.
const LabState = (() => {
    'use strict';
    const {byId: $, el} = PageKit;
    const {codeLineOf, renderCode} = ExploreCode;

    function show(lab, answer) {
        const rows = [['pool', answer.memory[0]], ['list', answer.memory[1]]];
        const names = answer.threads;
        for (const [t, text] of answer.inside)
            rows.push([names[t] || `thread ${t}`, text]);
        for (const [t, text] of answer.waits)
            rows.push([names[t] || `thread ${t}`, text]);
        $('state').replaceChildren(...rows.map(
            ([name, text]) =>
                el('tr', {}, el('th', {scope: 'row'}, name), el('td', {}, el('pre', {}, text)))));
        showCode(lab, answer);
        showTimeline(answer);
    }

    // The timeline drawn in the page, so that each shape names itself: on
    // hovering it, and from the keyboard, the arrows going from shape to
    // shape, its details are said under it. It is the simulator's own
    // drawing, parsed as SVG, never as HTML, with nothing in it that runs.
    let told = -1;  // the timeline's shape whose details are said
    function showTimeline(answer) {
        const parsed = new DOMParser().parseFromString(answer.svg, 'image/svg+xml').documentElement;
        if (parsed.namespaceURI !== 'http://www.w3.org/2000/svg')
            return;
        const svg = document.importNode(parsed, true), box = $('timeline');
        for (const bad of svg.querySelectorAll('script, foreignObject'))
            bad.remove();
        svg.setAttribute('role', 'img');
        svg.setAttribute('aria-label', `the timeline of the session up to ${answer.bound} ms`);
        const shapes = [...svg.querySelectorAll('title')].map((t) => t.parentNode);
        const tell = (shape) => {
            for (const old of svg.querySelectorAll('.told'))
                old.classList.remove('told');
            shape.classList.add('told');
            told = shapes.indexOf(shape);
            $('timelinedetail').textContent = shape.querySelector('title').textContent;
        };
        // A drawing of later times keeps the shape told, as far as it has one.
        if (shapes[told])
            tell(shapes[told]);
        svg.addEventListener('mouseover', (e) => {
            if (shapes.includes(e.target))
                tell(e.target);
        });
        box.onkeydown = (e) => {
            if (e.key !== 'ArrowRight' && e.key !== 'ArrowLeft')
                return;
            e.preventDefault();
            const now = shapes.findIndex((shape) => shape.classList.contains('told'));
            const next =
                Math.max(0, Math.min(shapes.length - 1, now + (e.key === 'ArrowRight' ? 1 : -1)));
            if (shapes[next])
                tell(shapes[next]);
        };
        box.replaceChildren(svg);
    }

    // The guard's code with each thread's next line marked, in the explorer's
    // code view (explore_code.js), and said in words under it: the learner's
    // text where the session runs it.
    function showCode(lab, answer) {
        const text = lab.guard.inSession;
        if (text && (!lab.textCode || lab.textCode.text !== text)) {
            const lines = text.split('\n');
            lab.textCode = {
                text,
                source: {
                    file: 'your guard',
                    leftOutBy: '',
                    sequences: [{name: 'your guard', line: 1, text: lines, struck: []}]
                }
            };
        }
        const source = text ? lab.textCode.source : lab.code;
        if (!source)
            return;
        const marks = [], said = [];
        for (const [t, sequence, guard, call, later, given] of answer.code) {
            const line = text ? given : codeLineOf(lab.code, sequence, call, later);
            const name = `${answer.threads[t] || `thread ${t}`}, ${guard}`;
            if (line > 0) {
                marks.push({line, thread: t, name});
                said.push(
                    text ? `${name}: line ${line} of your guard` :
                           `${name}: line ${line}, ${call} in ${sequence}`);
            }
        }
        renderCode(
            $('code'), source, marks,
            [said.length ? `At ${answer.bound} ms: ${said.join('; ')}.` :
                           `At ${answer.bound} ms no thread is in one of the guard's sequences.`]);
    }

    return Object.freeze({show});
})();
