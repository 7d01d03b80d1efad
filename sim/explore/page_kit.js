// What the explorer pages and the lab both build with: an element by its id,
// a DOM builder, and copying a text to the clipboard. Each of the pages'
// scripts is one namespace like this one, made in a function scope and
// giving only what it names at its end; it uses only those above it in
// sim/page_scripts.txt.
const PageKit = (() => {
    'use strict';

    const byId = (id) => document.getElementById(id);

    // An element with its properties (className, onclick, ...) and its
    // children, texts or elements; a text is always a text, never markup.
    function el(tag, properties, ...children) {
        const e = document.createElement(tag);
        Object.assign(e, properties || {});
        for (const c of children)
            e.append(c);
        return e;
    }

    // Copies `text`. Where the clipboard is missing or refuses, as it may for
    // a page opened from a file, `field` (which holds the text, or a text to
    // copy instead) is shown, selected and copied from. Resolves to whether
    // the browser said it copied.
    function copyText(text, field) {
        const fromField = () => {
            field.hidden = false;
            field.select();
            return document.execCommand('copy');
        };
        if (!navigator.clipboard || !navigator.clipboard.writeText)
            return Promise.resolve(fromField());
        return navigator.clipboard.writeText(text).then(() => true, fromField);
    }

    return Object.freeze({byId, el, copyText});
})();
