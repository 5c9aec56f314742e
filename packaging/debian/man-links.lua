-- pandoc filter for the manual pages: a link between the project's documents leads nowhere in a
-- manual page, so only its text stays.
function Link(link)
  return link.content
end
